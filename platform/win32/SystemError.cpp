#include "platform/SystemError.h"

#include <csignal>
#include <cstring>

namespace vexlo::platform {

std::string ErrorText(int error) {
  char buffer[256] = {};
  if (::strerror_s(buffer, sizeof buffer, error) == 0 && buffer[0] != '\0') return buffer;
  return "error " + std::to_string(error);
}

std::string SignalText(int signal) {
  // A stopped tool is reported with SIGTERM: it was terminated.
  if (signal == SIGTERM) return "Terminated";
  return "signal " + std::to_string(signal);
}

}  // namespace vexlo::platform
