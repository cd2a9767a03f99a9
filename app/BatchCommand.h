#pragma once

#include "jobs/Batch.h"

namespace vexlo::app {

/// Runs the command line's batch with the tools beside the program and returns the program's exit
/// status (jobs::RunBatch). Its log lines go to standard error, its JSON objects (--json) to
/// standard output; SIGINT, SIGTERM and SIGHUP (a console's Ctrl+C on Windows) stop it.
int RunBatchCommand(jobs::BatchRequest request);

}  // namespace vexlo::app
