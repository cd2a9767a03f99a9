#pragma once

#include <optional>

#include "app/CommandOptions.h"
#include "jobs/Batch.h"

// The command line's batch form run with the program's tools and standard streams.

namespace vexlo::app {

/// Runs the command line's batch with the tools beside the program and returns the program's exit
/// status (jobs::RunBatch). Its log lines go to standard error, its JSON objects (--json) to
/// standard output; SIGINT, SIGTERM and SIGHUP (a console's Ctrl+C on Windows) stop it.
int RunBatchCommand(jobs::BatchRequest request);

/// Runs --measure with the tools beside the program: the figures' line (or, with --json, one JSON
/// object) on standard output and status 0; one "vexlo: ..." line on standard error and status 1
/// when it cannot be measured; 130 when SIGINT or SIGTERM stopped it (its tool stopped too).
int RunMeasureCommand(MeasureJob job);

/// What a read command line runs before any window exists, the same on every system: the help,
/// the version or a refusal printed, a batch, a measurement, a picture of the frames. The program's
/// exit status, or nothing when the request needs the window's logic.
std::optional<int> RunWithoutWindow(const StartRequest& request);

}  // namespace vexlo::app
