#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/ChildProcess.h"
#include "platform/FileDescriptor.h"
#include "process/RunEnd.h"

// The blocking face of a tool run, for worker threads and for forms without a window (the batch,
// the queue's items, the picture of the frames, the read-back of an output, the measurement):
// one call runs one tool command line to its end on a ProcessRunner, as the window's jobs run
// theirs, and gives the same ToolEnd.
namespace vexlo::process {

/// Gets each line of the tool's output (cut as the jobs cut them: SplitChunkLines) on the
/// runner's reader thread; returns true when it showed the line, false to keep it for a
/// failure's reason.
using ToolLineSink = std::function<bool(std::string_view line)>;

/// Runs one tool command line in `workingDirectory` with `watch`, as the window's jobs run theirs
/// (its members run on the runner's threads), and waits on the calling thread until it ends, or
/// until `stop` can be read (then as RunTool below). The end is also given to `watch.ended`.
ToolEnd RunWatched(const std::string& commandLine, const std::string& workingDirectory,
                   ToolWatch watch, const platform::UniqueFd& stop,
                   platform::ChildPriority priority = platform::ChildPriority::kNormal);
/// The same for a run that nothing stops but its own end.
ToolEnd RunWatched(const std::string& commandLine, const std::string& workingDirectory,
                   ToolWatch watch);

/// Runs one tool command line in `workingDirectory` and waits on the calling thread (the
/// runner's owner) until it ends, or until `stop` can be read: the tool is then stopped as the
/// runner stops it (SIGTERM, SIGKILL a second later) and the run ends as cancelled. `stop` is
/// only watched, never read, so once it is readable every later run stops at once. The runner
/// and its threads are gone when this returns. The tool runs at `priority`.
ToolEnd RunTool(const std::string& commandLine, const std::string& workingDirectory,
                const ToolLineSink& onLine, const platform::UniqueFd& stop,
                platform::ChildPriority priority = platform::ChildPriority::kNormal);

/// The same for a run that nothing stops but its own end.
ToolEnd RunTool(const std::string& commandLine, const std::string& workingDirectory,
                const ToolLineSink& onLine);

}  // namespace vexlo::process
