#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/InputReport.h"
#include "process/FailureReason.h"
#include "process/OutputLines.h"
#include "jobs/ConformanceCheck.h"
#include "jobs/JobEnd.h"
#include "process/ProgressDetail.h"

// The window as a running job of the main window sees it (JobWindow), and the job's shared figures.

namespace vexlo::jobs {

using process::KeptOutLines;
using process::ProgressDetail;

// The figures of the running job, shared by the runner threads' watch and the window's
// thread. Each is a whole atomic value; no lock guards them.
struct JobFigures {
  process::SourceDuration durationMs;        // the source's, from the first "Duration:"
  std::atomic<std::int64_t> timeMs{0};       // the output time reached, from the last "time="
  std::atomic<std::int32_t> progressPos{0};  // the bar's position, 0 to 100, forward only
  // The tool's command line as it was started: written on the window's thread before the runner
  // exists, read by the runner's started notification, never changed while the runner lives.
  std::string commandLine;
  // What the job is, written with the command line: its kind, the file it makes, and the source
  // whose length its output must reach (an encode of a whole source with a duration; empty for
  // none) with the folder of the prober that reads that length.
  JobKind kind = JobKind::kEncode;
  std::string file;
  std::string lengthSource;
  std::string programDir;
  ProgressDetail detail;             // what the label below the bar shows
  // A video encode's check of its output against its request, run at its end; none otherwise.
  std::optional<WindowCheck> check;
  // The conversion's report of its input, for that check: read and reset on the runner's
  // threads only, one after the other (its lines, then its end).
  analysis::InputReport input;
};

/// Reads durationMs from the run's first "Duration:" (process::SourceDuration) and timeMs from
/// a "time=" in the line. A marker not followed by a readable time sets its figure to 0.
inline void ParseOutputLine(JobFigures& figures, std::string_view line) {
  figures.durationMs.Read(line);
  if (const auto timeMs = process::ReadOutputTimes(line).timeMs) figures.timeMs.store(*timeMs);
}

// The window as a running job sees it: where the job's figures, log lines, bar and detail go,
// and where it reports its start and its one typed end. The notifications run on a runner's
// threads: nothing here touches a control directly or waits for the window's thread; every
// change to a control is posted to the window's thread and runs there in the order of posting.
// What the window, automatic mode and the desktop aids do when a job starts or ends is theirs:
// a job never acts on the window beyond its figures, log, bar and detail.
class JobWindow {
 public:
  virtual ~JobWindow() = default;

  virtual JobFigures& jobFigures() = 0;

  /// The log append: queues a line (level 30, no timestamp) while the log exists. Any thread.
  virtual void logAppend(std::string_view text) = 0;
  /// Moves every queued log line into the pane now. Any thread; never waits for the window.
  virtual void flushLog() = 0;

  /// Sends a position to the progress bar (posted). Any thread.
  virtual void sendProgress(int position) = 0;
  /// The bar's position from a frame index or GOP job (posted). A window that runs a conversion
  /// beside such a job leaves the bar to the conversion. Any thread.
  virtual void sendIndexProgress(int position) { sendProgress(position); }
  /// Shows the progress detail of the conversion (posted). Any thread.
  virtual void sendDetail(std::string_view /*text*/) {}
  /// The detail of a frame index or GOP job: shown only while no conversion runs (posted).
  virtual void sendIndexDetail(std::string_view /*text*/) {}

  /// A job of this kind has started its tool (posted, after everything posted before). Any
  /// thread.
  virtual void postJobStarted(JobKind kind) = 0;
  /// The job's one end (posted, after everything it posted before). Any thread.
  virtual void postJobEnd(JobEnd end) = 0;
};

}  // namespace vexlo::jobs
