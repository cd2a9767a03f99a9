#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/HeadlessHost.h"

namespace vexlo::testing {

// The headless host of the main window, as the tests drive it: the test's own thread plays the
// window's thread (posted tasks wait until the test runs them with runPosted() or pumpUntil()),
// it counts as a window someone sees (not headless), and it records what the window asked of it.
class FakeDialogHost : public app::HeadlessHost {
 public:
  FakeDialogHost();
  void setProgress(int position) override;
  void setWaitCursor(bool on) override { waitCursorDepth += on ? 1 : -1; }
  std::optional<std::string> chooseFile(const platform::FileDialogRequest& request) override;
  void revealInFileManager(const std::string& path) override { revealed.push_back(path); }
  bool headless() const override { return false; }

  /// Runs posted tasks as they arrive until the condition holds or the time is up.
  bool pumpUntil(const std::function<bool()>& condition,
                 std::chrono::milliseconds timeout = std::chrono::seconds(60));

  int waitCursorDepth = 0;
  std::vector<platform::FileDialogRequest> fileDialogs;
  std::optional<std::string> nextChosenFile;  // what the next chooseFile returns
  std::vector<std::string> revealed;
  std::vector<int> progressHistory;
};

}  // namespace vexlo::testing
