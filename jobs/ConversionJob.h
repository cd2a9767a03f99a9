#pragma once

#include "jobs/JobWindow.h"
#include "process/ToolCommand.h"

namespace vexlo::jobs {

using process::FailureReason;
using jobs::JobEnd;
using process::JobNotifications;
using process::JobOutcome;
using jobs::JobWindow;

// The conversion job: the notifications of a conversion runner (encodes, the audio extraction,
// the test encode, the frame grab). Its figures are the window's jobFigures(), which the job
// launcher owns; the launcher writes what the job is (kind, file, length check) into them before
// the runner starts. Their context is the window, passed as
// static_cast<void*>(static_cast<JobWindow*>(window)); each does nothing for a null context.
// They run on the runner's threads: they update the job figures, queue log lines, post the bar
// and the detail, and report the job's start and its one typed end, never waiting for the
// window's thread. What the window does at a start or an end is the window's.

/// Recomputes progressPos from the figures (rounded to the nearest percent, 100 above 99 %,
/// never backwards) and sends it to the bar; sends 0 and leaves progressPos while no duration is
/// known.
void UpdateProgress(JobWindow& window);

/// Output: each line of the chunk is parsed for the duration and the time reached; the tool's
/// report lines go to the log, the others are kept for a failure's reason; then the bar moves.
/// -1 for a null data pointer, else 0.
int OnConversionOutput(const char* data, int length, void* context);
/// Started: resets the figures, shows what is queued, logs the start line and the command line,
/// and reports the start.
int OnConversionStarted(int code, void* context);
/// Error (-2 start failure, -3 failure or silence): marks the job failed and logs its error line.
/// A start failure has no finished notification, so it also reports the job's end (failed, not
/// started).
int OnConversionError(int code, void* context);
/// Error with its reason: the reason's lines (the tool's last lines the log did not show, and how
/// it ended or why it could not start), then OnConversionError.
int OnConversionFailure(int code, const FailureReason& reason, void* context);
/// The frame grab's failure: nothing is logged (the grab has no error line); a grab that could
/// not start still reports its end.
int OnFrameGrabFailure(int code, const FailureReason& reason, void* context);
/// Finished: for a job that ran to its end with exit code 0 and must reach its source's duration,
/// the warning of an output that ends short; the end line; then the job's end (the bar at 100).
int OnConversionFinished(int code, void* context);

/// All of them, for StartJob with the window as context.
inline constexpr JobNotifications kConversionNotifications{OnConversionOutput, OnConversionStarted,
                                                           OnConversionError, OnConversionFinished,
                                                           OnConversionFailure};
/// The frame grab's: no error line.
inline constexpr JobNotifications kFrameGrabNotifications{
    OnConversionOutput, OnConversionStarted, nullptr, OnConversionFinished, OnFrameGrabFailure};

}  // namespace vexlo::jobs
