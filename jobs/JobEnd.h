#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "jobs/JobKinds.h"
#include "process/RunEnd.h"

// The one typed end every job reports, whatever its kind.

namespace vexlo::jobs {

using process::JobOutcome;

/// Runs a task on the owner's thread (the window's) later, in the order of posting; any thread
/// may call it and it never waits. How jobs reach their owner's thread.
using PostTask = std::function<void(std::function<void()> task)>;

/// The one typed end every job reports, once, when its tool has ended and its last log line is
/// queued. Those who run jobs (the window, automatic mode, the desktop aids) subscribe to it;
/// the job itself never acts on the window.
struct JobEnd {
  JobKind kind = JobKind::kEncode;
  JobOutcome outcome = JobOutcome::kFinished;
  bool started = true;  // false: the tool could not be started (no started notification came)
  std::string output;   // the file the job makes; empty when it makes none
  // Why it failed, or why a finished job's output may not be whole, in one line without the
  // log's framing; empty otherwise.
  std::string reason;
  bool outputShort = false;  // finished, but the output ends short of the source's duration
  // The position the job's bar stands at at its end: 100 once its tool ran to its end (and, for
  // an index job, its file was written); none when the job leaves the bar where it is.
  std::optional<int> finalProgress;
  // A GOP job that stopped itself once it knew the GOP: it ends only itself, and the bar goes
  // back to 0 unless a conversion runs beside it.
  bool stoppedItself = false;
  std::int64_t sourceMs = 0;   // the source's duration from the tool's "Duration:"; 0 unknown
  std::int64_t reachedMs = 0;  // how far the output got, from the tool's last "time="
  std::int64_t frames = 0;     // the video frames an index or GOP job read
};


}  // namespace vexlo::jobs
