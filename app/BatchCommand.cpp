#include "app/BatchCommand.h"

#include <cstdio>

#include "app/PlotCommand.h"
#include "platform/Paths.h"
#include "platform/StopRequests.h"

namespace vexlo::app {

int RunBatchCommand(jobs::BatchRequest request) {
  jobs::BatchStop stop;
  const platform::StopRequests requests([&stop] { stop.Request(); });
  request.programDir = platform::ExecutableDirectory();
  return jobs::RunBatch(request, jobs::DescriptorOutput(2, 1), stop);
}

std::optional<int> RunWithoutWindow(const StartRequest& request) {
  if (request.exitNow) {
    std::fputs(request.out.c_str(), stdout);
    std::fputs(request.err.c_str(), stderr);
    return *request.exitNow;
  }
  if (request.batch) return RunBatchCommand(*request.batch);
  // A picture of a file's frames needs neither the window system nor the window's logic.
  if (request.plot) return RunPlot(*request.plot, platform::ExecutableDirectory(), stdout, stderr);
  return std::nullopt;
}

}  // namespace vexlo::app
