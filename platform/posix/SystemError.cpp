#include "platform/SystemError.h"

#include <string.h>

namespace vexlo::platform {

namespace {

// strerror_r comes in two forms: GNU's returns the text, POSIX's fills the buffer.
[[maybe_unused]] const char* PickText(const char* text, const char*) {
  return text;
}
[[maybe_unused]] const char* PickText(int result, const char* buffer) {
  return result == 0 ? buffer : nullptr;
}

}  // namespace

std::string ErrorText(int error) {
  char buffer[256] = {};
  const char* text = PickText(::strerror_r(error, buffer, sizeof buffer), buffer);
  return text != nullptr && *text != '\0' ? text : "error " + std::to_string(error);
}

std::string SignalText(int signal) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))
  if (const char* text = ::sigdescr_np(signal)) return text;
#endif
  return "signal " + std::to_string(signal);
}

}  // namespace vexlo::platform
