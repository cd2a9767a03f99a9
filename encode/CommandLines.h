#pragma once

// Every tool command line of the encode jobs.
#include "encode/AudioExtraction.h"
#include "encode/PngEncodes.h"
#include "encode/PngPattern.h"
#include "encode/TestEncode.h"
#include "encode/VideoEncodes.h"
