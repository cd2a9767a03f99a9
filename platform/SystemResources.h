#pragma once

#include <cstdint>
#include <optional>

// What the machine has to give several tools at once: its processors and the memory that is
// free for new work now.
namespace vexlo::platform {

/// The processors (hardware threads) this program may use; at least 1.
unsigned ProcessorCount();

/// The bytes of memory a new process could take now without pushing others out (on Linux,
/// /proc/meminfo's MemAvailable; on Windows, the available physical memory); nothing when the
/// system does not say.
std::optional<std::uint64_t> AvailableMemoryBytes();

}  // namespace vexlo::platform
