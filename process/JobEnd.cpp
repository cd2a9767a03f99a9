#include "process/JobEnd.h"

#include <algorithm>
#include <string_view>

#include "platform/SystemError.h"

namespace vexlo::process {

namespace {

std::string_view ToolName(std::string_view program) {
  const auto slash = program.find_last_of("/\\");
  return slash == std::string_view::npos ? program : program.substr(slash + 1);
}

}  // namespace

std::string HowItEnded(const FailureReason& reason) {
  if (reason.startError != 0) {
    return "could not be started: " + platform::ErrorText(reason.startError);
  }
  if (reason.silence.count() > 0) return "wrote nothing for too long: stopped by the watchdog";
  if (reason.signal != 0) return "ended by signal " + std::to_string(reason.signal);
  return "exited with code " + std::to_string(reason.exitCode);
}

std::string EndReasonText(const FailureReason& reason) {
  std::string text;
  const auto telling = std::find_if(reason.lastLines.begin(), reason.lastLines.end(),
                                    [](const std::string& line) { return NamesAnError(line); });
  if (telling != reason.lastLines.end()) text = *telling + "; ";
  text += ToolName(reason.program);
  text += ' ';
  return text + HowItEnded(reason);
}

}  // namespace vexlo::process
