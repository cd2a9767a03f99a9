#pragma once

#include <string>

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

}  // namespace vexlo::process
