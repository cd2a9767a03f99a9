#pragma once

#include "process/JobWindow.h"
#include "process/ToolCommand.h"

namespace vexlo::jobs {

using process::FailureReason;
using process::JobNotifications;
using process::JobWindow;

// The conversion job: the notifications of a conversion runner (encodes, the test encode, the
// frame grab). Its figures are the window's jobFigures(), which the job launcher owns. Their
// context is the window, passed as static_cast<void*>(static_cast<JobWindow*>(window)); each
// does nothing for a null context.
// They run on the runner's threads: they update the job figures, queue log lines and post every
// change of a control to the window's thread, never waiting for it.

/// Recomputes progressPos from the figures (rounded to the nearest percent, 100 above 99 %,
/// never backwards) and sends it to the bar; sends 0 and leaves progressPos while no duration is
/// known.
void UpdateProgress(JobWindow& window);

/// Output: each line of the chunk is parsed for the duration and the time reached; the tool's
/// report lines go to the log, the others are kept for a failure's reason; then the bar moves.
/// -1 for a null data pointer, else 0.
int OnConversionOutput(const char* data, int length, void* context);
/// Started: resets the figures, shows what is queued, logs the start line, disables the controls.
int OnConversionStarted(int code, void* context);
/// Error (-2 start failure, -3 failure or silence): logs the error line, enables the controls.
/// A start failure has no finished notification, so it also records the failed result and, in
/// automatic mode without a display, closes the window.
int OnConversionError(int code, void* context);
/// Error with its reason: the reason's lines (the tool's last lines the log did not show, and how
/// it ended or why it could not start), then OnConversionError.
int OnConversionFailure(int code, const FailureReason& reason, void* context);
/// Finished: logs the end line, enables the controls, sets the bar to 100, records the result
/// and, in automatic mode, closes the window.
int OnConversionFinished(int code, void* context);

/// All of them, for StartJob with the window as context.
inline constexpr JobNotifications kConversionNotifications{OnConversionOutput, OnConversionStarted,
                                                           OnConversionError, OnConversionFinished,
                                                           OnConversionFailure};

}  // namespace vexlo::jobs
