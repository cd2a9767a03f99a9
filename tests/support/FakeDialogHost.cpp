#include "tests/support/FakeDialogHost.h"

#include <utility>

#include "res/MainDialogTemplate.h"

namespace vexlo::testing {

FakeDialogHost::FakeDialogHost() : HeadlessHost(res::MainDialogTemplate()) {}

void FakeDialogHost::setProgress(int position) {
  HeadlessHost::setProgress(position);
  progressHistory.push_back(position);
}

std::optional<std::string> FakeDialogHost::chooseFile(const platform::FileDialogRequest& request) {
  fileDialogs.push_back(request);
  return std::exchange(nextChosenFile, std::nullopt);
}

bool FakeDialogHost::pumpUntil(const std::function<bool()>& condition,
                               std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    runPosted();
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    // Also re-checks now and then: some conditions change without a posted task.
    waitForPost(std::chrono::milliseconds(10));
  }
}

}  // namespace vexlo::testing
