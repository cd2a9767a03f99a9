#pragma once

// The conversion job's watch: what an encode, the audio extraction, the test encode and the frame
// grab do with their tool's start, lines and end in the window.

#include "jobs/JobWindow.h"
#include "process/RunEnd.h"

namespace vexlo::jobs {

// The conversion job: what a conversion runner (encodes, the audio extraction, the test encode,
// the frame grab) does with its tool's start, lines and end. Its figures are the window's
// jobFigures(), which the job launcher owns; the launcher writes what the job is (kind, file,
// length check) into them before the runner starts. The watch runs on the runner's threads: it
// updates the job figures, queues log lines, posts the bar and the detail, and reports the job's
// start and its one typed end, never waiting for the window's thread. What the window does at a
// start or an end is the window's.

/// Recomputes progressPos from the figures (rounded to the nearest percent, 100 above 99 %,
/// never backwards) and sends it to the bar; sends 0 and leaves progressPos while no duration is
/// known.
void UpdateProgress(JobWindow& window);

/// The watch of a conversion runner for `window`:
/// - started: resets the figures, shows what is queued, logs the start line and the command line,
///   and reports the start;
/// - output: each line is parsed for the duration and the time reached; the tool's report lines
///   go to the log, the others are kept for a failure's reason; then the bar moves;
/// - ended: a failure's reason lines and its error line ("CREATION  ERROR" for a tool that could
///   not start, "CONVERSION  BREAK" after 90 %, else "CONVERSION  ERROR"); for a job that ran to
///   its end and must reach its source's duration, the warning of an output that ends short; the
///   end line; then the job's one typed end (the bar at 100). A tool that could not start ends
///   the job at once.
/// The frame grab's watch (`frameGrab`) logs no failure: its end alone says it failed.
process::ToolWatch ConversionWatch(JobWindow& window, bool frameGrab = false);

}  // namespace vexlo::jobs
