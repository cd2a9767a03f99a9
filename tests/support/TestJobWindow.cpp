#include "tests/support/TestJobWindow.h"

#include <thread>

#include "platform/Paths.h"
#include "res/ControlIds.h"

namespace vexlo::testing {

namespace {
constexpr std::string_view kStartLine = "Trace process started.\r\n";
}  // namespace

TestJobWindow::TestJobWindow(bool automatic, std::chrono::milliseconds tick)
    : automatic(automatic), trace(host, res::id::kLogPane, tick) {}

TestJobWindow::~TestJobWindow() {
  trace.ShutdownTrace();
}

void TestJobWindow::startLog(const std::string& directory) {
  trace.StartTrace(directory, "ConvVexlo.Log", process::TraceControl::kSaveOnOverflow);
  trace.maxLevel = process::TraceControl::kDefaultMaxLevel;
}

bool TestJobWindow::startLogAndWait(const std::string& directory) {
  startLog(directory);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (shownLog().find(kStartLine) == std::string::npos) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void TestJobWindow::logAppend(std::string_view text) {
  trace.AddMessage(text, 0, 30);
}
void TestJobWindow::flushLog() {
  trace.Flush();
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
  std::lock_guard lock(resultMutex_);
  result_ = succeeded;
  ++resultCount_;
}

std::string TestJobWindow::shownLog() {
  trace.Flush();
  host.runPosted();
  return paneText();
}

std::string TestJobWindow::jobLog() {
  std::string log = shownLog();
  const auto start = log.find(kStartLine);
  if (start != std::string::npos) log.erase(0, start + kStartLine.size());
  return log;
}

std::string TestJobWindow::paneText() const {
  return host.text(res::id::kLogPane);
}

std::optional<bool> TestJobWindow::conversionResult() const {
  std::lock_guard lock(resultMutex_);
  return result_;
}

}  // namespace vexlo::testing
