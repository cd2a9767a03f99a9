#pragma once

#include <cstdio>
#include <string>

#include "app/CommandOptions.h"

// The command line's --plot form.

namespace vexlo::app {

/// --plot PICTURE SOURCE: reads SOURCE's frames with the prober beside the program (the frame
/// index job's command line), writes the picture and prints "PICTURE: SUMMARY" on `out`. Returns
/// the exit status: 0 when the picture is written; 1 when the prober failed, found no video
/// frame, or the picture could not be written (one line on `err` says why; no picture is left).
/// Reads and writes no settings, no index file and no log.
int RunPlot(const PlotJob& job, const std::string& programDirectory, std::FILE* out,
            std::FILE* err);

}  // namespace vexlo::app
