#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "jobs/JobWindow.h"
#include "hosts/TraceControl.h"
#include "tests/support/FakeDialogHost.h"

namespace vexlo::testing {

// A small window for the job notifications: a FakeDialogHost, a TraceControl on its log pane,
// and the job figures. What the notifications post runs when the test runs the host's posted
// tasks (runPosted, pumpUntil), on the test's own thread, as on a window's thread; the starts
// and ends the jobs report are kept in the order their posted tasks ran.
class TestJobWindow : public jobs::JobWindow {
 public:
  explicit TestJobWindow(std::chrono::milliseconds tick = hosts::TraceControl::kDefaultTick);
  ~TestJobWindow() override { trace.ShutdownTrace(); }

  /// Starts the log ("ConvVexlo.Log" in `directory`, mode 1, level 30) and waits until the
  /// writer's first line is in the pane; false on time-out.
  bool startLogAndWait(const std::string& directory);

  jobs::JobFigures& jobFigures() override { return figures; }
  void logAppend(std::string_view text) override { trace.AddMessage(text); }
  void flushLog() override { trace.Flush(); }
  void sendProgress(int position) override;
  void postJobStarted(jobs::JobKind kind) override;
  void postJobEnd(jobs::JobEnd end) override;

  /// Flushes the log and runs the posted tasks: the pane then shows everything logged so far.
  std::string shownLog();
  /// shownLog without the writer's first line: what the jobs logged.
  std::string jobLog();

  FakeDialogHost host;
  hosts::TraceControl trace;
  jobs::JobFigures figures;
  std::vector<jobs::JobKind> starts;
  std::vector<jobs::JobEnd> ends;
};

}  // namespace vexlo::testing
