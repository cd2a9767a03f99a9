#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "process/FailureReason.h"
#include "process/ProgressDetail.h"

namespace vexlo::process {

// The figures of the running job, shared by the runner threads' notifications and the window's
// thread. Each is a whole atomic value; no lock guards them.
struct JobFigures {
  std::atomic<std::int64_t> durationMs{0};   // the input's duration, from the last "Duration:"
  std::atomic<std::int64_t> timeMs{0};       // the output time reached, from the last "time="
  std::atomic<std::int32_t> progressPos{0};  // the bar's position, 0 to 100, forward only
  std::atomic<bool> failed{false};           // an error notification came for the running job
  KeptOutLines keptOut;  // the tool's last lines the log did not show, for a failure's reason
  // The tool's command line as it was started: written on the window's thread before the runner
  // exists, read by the runner's started notification, never changed while the runner lives.
  std::string commandLine;
  std::string file;                  // the file the job makes, named in the word at its end
  std::atomic<bool> stopped{false};  // the job was stopped before its end (Cancel, replaced)
  ProgressDetail detail;             // what the label below the bar shows
};

/// How a job ended, for the word the desktop gives when the window is not the active one.
enum class JobOutcome { kFinished, kFailed, kCancelled };

// The main window as the job notifications see it. The notifications run on a runner's
// threads: nothing here touches a control directly or waits for the window's thread; every
// change to a control is posted to the window's thread and runs there in the order of posting.
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
  /// A job of the conversion runner ended: its file and how (posted). Any thread.
  virtual void postJobEnded(JobOutcome /*outcome*/, std::string_view /*file*/) {}
  /// EnableJobControls with the flag (posted). Any thread.
  virtual void postEnableJobControls(bool enable) = 0;
  /// The window's Cancel action, which closes the window (posted). Any thread.
  virtual void postCancelWindow() = 0;

  /// True when the command line selected automatic mode.
  virtual bool automaticMode() const = 0;
  /// True when no one can see the window, and so no one can close it (no display).
  virtual bool headless() const { return false; }

  /// Records how the last conversion ended: true when the tool ran to its end with exit code 0.
  /// Automatic mode turns it into the program's exit status.
  virtual void noteConversionResult(bool succeeded) = 0;
};

}  // namespace vexlo::process
