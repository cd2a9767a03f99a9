#pragma once

// This program's process id, and whether a process of a given id still exists.

namespace vexlo::platform {

/// This program's process id.
long CurrentProcessId();

/// True while a process with this id exists (one that cannot be looked at, another user's, counts
/// as existing). A file named after its owner's process id is a dead run's leftover once this is
/// false.
bool ProcessExists(long pid);

}  // namespace vexlo::platform
