#pragma once

#include <string>
#include <vector>

#include "analysis/FramePlot.h"

// The frames of a file for the picture of the frames, read with the prober.

namespace vexlo::analysis {

/// The frames of a file as the frame index job reads them, or why they could not be read.
struct FramesRead {
  std::vector<PlotFrame> frames;
  std::string failure;  // one line; empty when the prober ran to its end
};

/// Runs the frame index job's prober command line ("DIR/ffprobe.bin" -show_frames "SOURCE") in
/// `programDir` and gathers the video frames it reports, waiting for the tool's end. No index
/// file is written and no log is kept. A failure names the tool's complaint and how it ended
/// (its exit code, a signal, the watchdog, or why it could not start).
FramesRead ReadFramesForPlot(const std::string& programDir, const std::string& source);

}  // namespace vexlo::analysis
