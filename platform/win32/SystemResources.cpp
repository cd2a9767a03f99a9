#include "platform/SystemResources.h"

#include <windows.h>

namespace vexlo::platform {

unsigned ProcessorCount() {
  const DWORD count = ::GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  return count > 0 ? static_cast<unsigned>(count) : 1;
}

std::optional<std::uint64_t> AvailableMemoryBytes() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (!::GlobalMemoryStatusEx(&status)) return std::nullopt;
  return static_cast<std::uint64_t>(status.ullAvailPhys);
}

}  // namespace vexlo::platform
