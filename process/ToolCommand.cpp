#include "process/ToolCommand.h"

#include "platform/Paths.h"

namespace vexlo::process {

std::string QuotedToolPath(std::string_view programDir, std::string_view tool) {
  std::string path = "\"";
  path += programDir;
  path += platform::kPathSeparator;
  path += tool;
  path += '"';
  return path;
}

std::unique_ptr<ProcessRunner> StartJob(const std::string& commandLine,
                                        const JobNotifications& notifications, void* context,
                                        const std::string& workingDirectory) {
  auto runner = std::make_unique<ProcessRunner>();
  runner->SetCommandLine(commandLine.c_str());
  runner->SetWorkingDirectory(workingDirectory);
  runner->output = notifications.output;
  runner->started = notifications.started;
  runner->error = notifications.error;
  runner->finished = notifications.finished;
  runner->failure = notifications.failure;
  runner->outputContext = runner->startedContext = runner->endContext = context;
  if (runner->Start() != 0) {
    // Nothing to add: the failed start has been notified with its reason.
  }
  return runner;
}

}  // namespace vexlo::process
