#include "tests/support/TestJobWindow.h"

#include "platform/Paths.h"
#include "res/ControlIds.h"

namespace vexlo::testing {

namespace {
constexpr std::string_view kStartLine = "Trace process started.\r\n";
}  // namespace

TestJobWindow::TestJobWindow(std::chrono::milliseconds tick)
    : trace(host, res::id::kLogPane, tick) {}

bool TestJobWindow::startLogAndWait(const std::string& directory) {
  trace.StartTrace(directory, "ConvVexlo.Log", hosts::TraceControl::kSaveOnOverflow);
  trace.maxLevel = hosts::TraceControl::kDefaultMaxLevel;
  return host.pumpUntil([&] { return shownLog().find(kStartLine) != std::string::npos; });
}

void TestJobWindow::sendProgress(int position) {
  host.post([this, position] { host.setProgress(position); });
}

void TestJobWindow::postJobStarted(jobs::JobKind kind) {
  host.post([this, kind] { starts.push_back(kind); });
}

void TestJobWindow::postJobEnd(jobs::JobEnd end) {
  host.post([this, end = std::move(end)] { ends.push_back(end); });
}

std::string TestJobWindow::shownLog() {
  trace.Flush();
  host.runPosted();
  return host.text(res::id::kLogPane);
}

std::string TestJobWindow::jobLog() {
  std::string log = shownLog();
  const auto start = log.find(kStartLine);
  if (start != std::string::npos) log.erase(0, start + kStartLine.size());
  return log;
}

}  // namespace vexlo::testing
