#include "process/RunEnd.h"

#include <algorithm>
#include <string_view>

#include "platform/SystemError.h"

namespace vexlo::process {

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
  for (std::string_view line : reason.lastLines) {
    if (!NamesAnError(line)) continue;
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
    text.append(line).append("; ");
  }
  text += ToolName(reason.program);
  text += ' ';
  return text + HowItEnded(reason);
}

}  // namespace vexlo::process
