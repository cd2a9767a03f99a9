#include "platform/Processes.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace vexlo::platform {

long CurrentProcessId() {
  return static_cast<long>(::getpid());
}

bool ProcessExists(long pid) {
  if (pid <= 0 || static_cast<long>(static_cast<pid_t>(pid)) != pid) return false;
  // Signal 0 only asks whether the process is there; EPERM means it is, under another user.
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

}  // namespace vexlo::platform
