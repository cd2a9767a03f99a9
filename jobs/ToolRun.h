#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/FileDescriptor.h"
#include "process/FailureReason.h"

namespace vexlo::jobs {

// How one tool run ended.
enum class ToolEndKind {
  kSucceeded,    // it ran to its end with exit code 0
  kFailed,       // a non-zero exit code, a signal, the watchdog, or an output not written whole
  kStartFailed,  // it could not be started
  kStopped,      // the stop descriptor became readable: it was stopped before its end
};

struct ToolEnd {
  ToolEndKind kind = ToolEndKind::kFailed;
  /// For kFailed and kStartFailed: how it ended and its last lines that `onLine` did not show.
  process::FailureReason reason;
};

/// Gets each line of the tool's output (cut as the jobs cut them: process::SplitChunkLines) on
/// the runner's reader thread; returns true when it showed the line, false to keep it for a
/// failure's reason.
using ToolLineSink = std::function<bool(std::string_view line)>;

/// Runs one tool command line with a process::ProcessRunner in `workingDirectory` and waits on
/// the calling thread (the runner's owner) until it ends, or until `stop` can be read: the tool
/// is then stopped as the runner stops it (SIGTERM, SIGKILL a second later). `stop` is only
/// watched, never read, so once it is readable every later run stops at once. The runner and its
/// threads are gone when this returns.
ToolEnd RunTool(const std::string& commandLine, const std::string& workingDirectory,
                const ToolLineSink& onLine, const platform::UniqueFd& stop);

}  // namespace vexlo::jobs
