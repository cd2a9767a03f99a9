#pragma once

#include <string>
#include <string_view>

#include "encode/EncoderSettings.h"
#include "encode/PngPattern.h"

// The command lines that encode a numbered PNG sequence. The "Force FPS" position is the input
// frame rate here; the request refuses a sequence without one before a builder runs. The short
// GOP check plays no part, and the H.264 encode ignores the deinterlace check.
namespace vexlo::encode {

std::string EncodePngH264(const EncoderSettings& settings, std::string_view programDir,
                          const PngPattern& png, std::string_view dst);
std::string EncodePngH265(const EncoderSettings& settings, std::string_view programDir,
                          const PngPattern& png, std::string_view dst);
/// As EncodePngH265, followed by " -f mp4".
std::string EncodePngMpv(const EncoderSettings& settings, std::string_view programDir,
                         const PngPattern& png, std::string_view dst);

}  // namespace vexlo::encode
