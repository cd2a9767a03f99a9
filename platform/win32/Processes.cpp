#include "platform/Processes.h"

#include <windows.h>

namespace vexlo::platform {

long CurrentProcessId() {
  return static_cast<long>(::GetCurrentProcessId());
}

bool ProcessExists(long pid) {
  if (pid <= 0) return false;
  HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
  // A process that may not be looked at is there all the same.
  if (process == nullptr) return ::GetLastError() == ERROR_ACCESS_DENIED;
  DWORD code = 0;
  const bool running = ::GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
  ::CloseHandle(process);
  return running;
}

}  // namespace vexlo::platform
