#include "process/ToolCommand.h"

#include <utility>

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

std::unique_ptr<ProcessRunner> StartTool(const std::string& commandLine, ToolWatch watch,
                                         const std::string& workingDirectory) {
  auto runner = std::make_unique<ProcessRunner>();
  runner->SetCommandLine(commandLine.c_str());
  runner->SetWorkingDirectory(workingDirectory);
  runner->watch = std::move(watch);
  if (runner->Start() != 0) {
    // Nothing to add: the failed start has been told as the run's end.
  }
  return runner;
}

}  // namespace vexlo::process
