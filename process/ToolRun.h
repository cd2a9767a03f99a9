#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/FileDescriptor.h"
#include "process/FailureReason.h"
#include "jobs/JobEnd.h"

// The blocking face of a tool run, for worker threads and for forms without a window (the batch,
// the queue's items, the picture of the frames, the read-back of an output): one call runs one
// tool command line to its end and gives how it ended in the jobs' own vocabulary.
namespace vexlo::process {

struct ToolEnd {
  /// kFinished: exit code 0 and the output written whole; kFailed: a non-zero exit code, a
  /// signal, the watchdog, a start that failed, or an output the tool could not write whole;
  /// kCancelled: the stop descriptor became readable before the tool's end.
  JobOutcome outcome = JobOutcome::kFailed;
  bool started = true;  // false: the tool could not be started
  /// For kFailed: how it ended and its last lines that the line sink did not show.
  FailureReason reason;

  bool finished() const { return outcome == JobOutcome::kFinished; }
  /// The failure's reason in one line, as every job gives it (EndReasonText).
  std::string ReasonText() const { return EndReasonText(reason); }
};

/// Gets each line of the tool's output (cut as the jobs cut them: SplitChunkLines) on the
/// runner's reader thread; returns true when it showed the line, false to keep it for a
/// failure's reason.
using ToolLineSink = std::function<bool(std::string_view line)>;

/// Runs one tool command line with a ProcessRunner in `workingDirectory` and waits on the
/// calling thread (the runner's owner) until it ends, or until `stop` can be read: the tool is
/// then stopped as the runner stops it (SIGTERM, SIGKILL a second later). `stop` is only
/// watched, never read, so once it is readable every later run stops at once. The runner and its
/// threads are gone when this returns.
ToolEnd RunTool(const std::string& commandLine, const std::string& workingDirectory,
                const ToolLineSink& onLine, const platform::UniqueFd& stop);

/// The same for a run that nothing stops but its own end.
ToolEnd RunTool(const std::string& commandLine, const std::string& workingDirectory,
                const ToolLineSink& onLine);

}  // namespace vexlo::process
