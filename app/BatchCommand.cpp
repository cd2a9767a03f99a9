#include "app/BatchCommand.h"

#include "platform/Paths.h"
#include "platform/StandardStreams.h"

namespace vexlo::app {

int RunBatchCommand(jobs::BatchRequest request) {
  // Static: a signal that comes while the program ends still finds it.
  static jobs::BatchStop stop;
  platform::CallOnStopRequests([] { stop.Request(); });
  request.programDir = platform::ExecutableDirectory();
  return jobs::RunBatch(request, jobs::DescriptorOutput(2, 1), stop);
}

}  // namespace vexlo::app
