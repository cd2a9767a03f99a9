#include "app/BatchCommand.h"

#include <cstdio>

#include "app/EstimateCommand.h"
#include "app/PlotCommand.h"
#include "jobs/BatchResult.h"
#include "platform/Paths.h"
#include "platform/StopRequests.h"

namespace vexlo::app {

int RunBatchCommand(jobs::BatchRequest request) {
  jobs::BatchStop stop;
  const platform::StopRequests requests([&stop] { stop.Request(); });
  request.programDir = platform::ExecutableDirectory();
  return jobs::RunBatch(request, jobs::DescriptorOutput(2, 1), stop);
}

int RunMeasureCommand(MeasureJob job) {
  jobs::BatchStop stop;
  const platform::StopRequests requests([&stop] { stop.Request(); });
  job.quality.programDir = platform::ExecutableDirectory();
  const jobs::QualityResult result = jobs::MeasureQuality(job.quality, stop.watch());
  if (result.stopped || stop.requested()) {
    std::fputs("vexlo: the measurement was stopped\n", stderr);
    return 130;
  }
  if (!result.figures) {
    std::fprintf(stderr, "vexlo: %s\n", OneLine(result.failure).c_str());
    return 1;
  }
  const std::string line =
      job.json ? jobs::QualityJson(job.quality.source, job.quality.output, *result.figures)
               : job.quality.output + ": " + jobs::QualityText(*result.figures);
  std::fprintf(stdout, "%s\n", line.c_str());
  return 0;
}

std::optional<int> RunWithoutWindow(const StartRequest& request) {
  if (request.exitNow) {
    std::fputs(request.out.c_str(), stdout);
    std::fputs(request.err.c_str(), stderr);
    return *request.exitNow;
  }
  if (request.batch) return RunBatchCommand(*request.batch);
  if (request.measure) return RunMeasureCommand(*request.measure);
  if (request.estimate) return RunEstimateCommand(*request.estimate);
  // A picture of a file's frames needs neither the window system nor the window's logic.
  if (request.plot) return RunPlot(*request.plot, platform::ExecutableDirectory(), stdout, stderr);
  return std::nullopt;
}

}  // namespace vexlo::app
