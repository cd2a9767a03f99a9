#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "process/JobWindow.h"
#include "process/TraceControl.h"
#include "tests/support/FakeDialogHost.h"

namespace vexlo::testing {

// A small window for the job notifications: a FakeDialogHost, a TraceControl on its log pane,
// and the job figures. What the notifications post runs when the test runs the host's posted
// tasks (runPosted, pumpUntil), on the test's own thread, as on a window's thread.
class TestJobWindow : public process::JobWindow {
 public:
  explicit TestJobWindow(bool automatic = false,
                         std::chrono::milliseconds tick = process::TraceControl::kDefaultTick);
  ~TestJobWindow() override;

  /// Starts the log with "ConvVexlo.Log" in `directory` (the monthly file goes there), mode 1,
  /// maximum level 30. The process's current directory is the same again afterwards.
  void startLog(const std::string& directory);
  /// startLog, then waits until the writer's first line ("Trace process started.") is in the
  /// pane, so that what follows in the pane is the test's own lines; false on time-out.
  bool startLogAndWait(const std::string& directory);

  process::JobFigures& jobFigures() override { return figures; }
  void logAppend(std::string_view text) override;
  void flushLog() override;
  void sendProgress(int position) override;
  void postEnableJobControls(bool enable) override;
  void postCancelWindow() override;
  bool automaticMode() const override { return automatic; }
  void noteConversionResult(bool succeeded) override;

  /// Flushes the log and runs the posted tasks: the pane then shows everything logged so far.
  std::string shownLog();
  /// shownLog without the writer's first line: what the jobs logged.
  std::string jobLog();
  /// The pane's text in the fake host (after the posted tasks that have run).
  std::string paneText() const;
  /// The last result noted, if any (any thread).
  std::optional<bool> conversionResult() const;
  int conversionResults() const { return resultCount_.load(); }

  bool automatic = false;
  FakeDialogHost host;
  process::TraceControl trace;
  process::JobFigures figures;
  /// EnableJobControls calls in the order their posted tasks ran (window's thread).
  std::vector<bool> enableCalls;

 private:
  mutable std::mutex resultMutex_;
  std::optional<bool> result_;
  std::atomic<int> resultCount_{0};
};

}  // namespace vexlo::testing
