#include "app/PlotCommand.h"

#include "analysis/FramePlot.h"
#include "analysis/PlotFrames.h"
#include "analysis/PlotSvg.h"
#include "platform/AtomicFile.h"
#include "platform/Paths.h"
#include "platform/SystemError.h"

namespace vexlo::app {

namespace {

int Fail(std::FILE* err, const std::string& line) {
  std::fprintf(err, "vexlo: %s\n", OneLine(line).c_str());
  return 1;
}

}  // namespace

int RunPlot(const PlotJob& job, const std::string& programDirectory, std::FILE* out,
            std::FILE* err) {
  analysis::FramesRead read = analysis::ReadFramesForPlot(programDirectory, job.source);
  const std::string source = "\"" + job.source + "\"";
  if (!read.failure.empty())
    return Fail(err, "cannot read the frames of " + source + ": " + read.failure);
  if (read.frames.empty()) return Fail(err, source + " has no video frames");
  const analysis::FramePlot plot(std::move(read.frames), analysis::FileNameOf(job.source));
  const std::string svg = analysis::PlotSvg(plot.Draw({}));
  if (const int error = platform::ReplaceWholeFile(job.picture, svg); error != 0) {
    return Fail(err, "cannot write \"" + job.picture + "\": " + platform::ErrorText(error));
  }
  std::fprintf(out, "%s: %s\n", OneLine(job.picture).c_str(),
               analysis::SummaryLine(plot.summary()).c_str());
  return 0;
}

}  // namespace vexlo::app
