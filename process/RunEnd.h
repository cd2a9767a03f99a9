#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "process/FailureReason.h"

// How a run of a tool (and so a job) ended, and the one-line reason of a failure: the one
// vocabulary every form speaks, from the window's typed end to the batch's JSON.
namespace vexlo::process {

/// How a job ended: it ran to its end (whatever its tool's written lines said), it failed (its
/// tool failed or could not start, or what it makes could not be made), or it was stopped before
/// its end (by Cancel or by a job that replaced it).
enum class JobOutcome { kFinished, kFailed, kCancelled };

/// How a tool ended, in a few words: "could not be started: REASON", "wrote nothing for too
/// long: stopped by the watchdog", "ended by signal N" or "exited with code N".
std::string HowItEnded(const FailureReason& reason);

/// A failure's reason in one line, the same in the log's end, the batch's results, the queue and
/// every error line of the command line: the tool's kept-out lines that name an error, then the
/// tool's name and how it ended ("gone.mov: No such file or directory; ffmpeg.bin exited with
/// code 1").
std::string EndReasonText(const FailureReason& reason);

/// How one run of a tool ended, the one result every way of running a tool gives.
struct ToolEnd {
  /// kFinished: exit code 0 and the output written whole; kFailed: a non-zero exit code, a
  /// signal, the watchdog, a start that failed, or exit code 0 after a kept line said the output
  /// could not be written whole; kCancelled: stopped by its owner before its end.
  JobOutcome outcome = JobOutcome::kFailed;
  bool started = true;  // false: the tool could not be started
  /// For kFailed: how it ended and the last lines its owner kept out of its log.
  FailureReason reason;

  bool finished() const { return outcome == JobOutcome::kFinished; }
  /// The failure's reason in one line (EndReasonText).
  std::string ReasonText() const { return EndReasonText(reason); }
};

/// What a running tool tells its owner, each optional. They run on the run's own threads, one
/// at a time: `started` (the tool runs; before any output), `output` for each chunk of its
/// output (whole lines, and progress pieces, at most 1024 bytes) with the lines the owner does
/// not show handed to `keptOut` for a failure's reason, then `ended`, exactly once and last,
/// with how it ended (also for a tool that could not start, with no `started` before it).
struct ToolWatch {
  std::function<void()> started;
  std::function<void(std::string_view chunk, KeptOutLines& keptOut)> output;
  std::function<void(const ToolEnd& end)> ended;
};

}  // namespace vexlo::process
