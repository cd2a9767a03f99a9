#include "platform/SystemResources.h"

#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace vexlo::platform {

unsigned ProcessorCount() {
  // The processors this process may run on, which a container or `taskset` may have narrowed.
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) {
    return static_cast<unsigned>(CPU_COUNT(&set));
  }
  const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<unsigned>(online) : 1;
}

std::optional<std::uint64_t> AvailableMemoryBytes() {
  std::FILE* file = std::fopen("/proc/meminfo", "r");
  if (file == nullptr) return std::nullopt;
  char line[256];
  std::optional<std::uint64_t> bytes;
  while (!bytes && std::fgets(line, sizeof line, file) != nullptr) {
    unsigned long long kib = 0;
    if (std::sscanf(line, "MemAvailable: %llu kB", &kib) == 1) bytes = kib * 1024;
  }
  std::fclose(file);
  return bytes;
}

}  // namespace vexlo::platform
