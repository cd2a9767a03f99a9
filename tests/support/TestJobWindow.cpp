#include "tests/support/TestJobWindow.h"

#include "platform/Paths.h"
#include "res/ControlIds.h"

namespace vexlo::testing {

namespace {
constexpr std::string_view kStartLine = "Trace process started.\r\n";
}  // namespace

TestJobWindow::TestJobWindow(bool automatic, std::chrono::milliseconds tick)
    : automatic(automatic), trace(host, res::id::kLogPane, tick) {}

bool TestJobWindow::startLogAndWait(const std::string& directory) {
  trace.StartTrace(directory, "ConvVexlo.Log", process::TraceControl::kSaveOnOverflow);
  trace.maxLevel = process::TraceControl::kDefaultMaxLevel;
  return host.pumpUntil([&] { return shownLog().find(kStartLine) != std::string::npos; });
}

void TestJobWindow::sendProgress(int position) {
  host.post([this, position] { host.setProgress(position); });
}

void TestJobWindow::postEnableJobControls(bool enable) {
  host.post([this, enable] { enableCalls.push_back(enable); });
}

void TestJobWindow::postCancelWindow() {
  host.post([this] { host.endDialog(res::kIdCancel); });
}

void TestJobWindow::noteConversionResult(bool succeeded) {
  lastResult = succeeded;
  ++results;
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
