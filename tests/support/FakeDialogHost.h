#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/DialogHost.h"

namespace vexlo::testing {

// An in-memory dialog host. The test's own thread plays the window's thread: posted tasks wait
// in a queue until the test runs them with runPosted() or pumpUntil().
class FakeDialogHost : public platform::DialogHost {
 public:
  struct Control {
    std::string text;
    int listIndex = -1;
    int listSize = 0;  // entries of a drop-down list; setListIndex outside it selects nothing
    bool checked = false;
    bool enabled = true;
    bool visible = true;
    bool readOnly = false;
  };

  FakeDialogHost();

  std::string text(int id) const override;
  void setText(int id, std::string_view text) override;
  void appendText(int id, std::string_view text) override;
  int listIndex(int id) const override;
  void setListIndex(int id, int index) override;
  bool checked(int id) const override;
  void setChecked(int id, bool checked) override;
  bool enabled(int id) const override;
  void setEnabled(int id, bool enabled) override;
  bool visible(int id) const override;
  void setVisible(int id, bool visible) override;
  void setReadOnly(int id, bool readOnly) override;
  int progress() const override;
  void setProgress(int position) override;
  void setWaitCursor(bool on) override;
  void resizeWindow(int width, int height) override;
  void endDialog(int result) override;
  std::optional<std::string> chooseFile(const platform::FileDialogRequest& request) override;
  void revealInFileManager(const std::string& path) override;
  void showAbout() override;
  void post(std::function<void()> task) override;

  /// Runs every task posted so far (and those they post); returns how many ran.
  int runPosted();
  /// Runs posted tasks as they arrive until the condition holds or the time is up.
  bool pumpUntil(const std::function<bool()>& condition,
                 std::chrono::milliseconds timeout = std::chrono::seconds(20));
  /// Drops posted tasks from now on (the window has gone).
  void closeQueue();

  Control& control(int id) { return controls_[id]; }
  bool readOnly(int id) const;

  // What the logic asked of the host.
  int waitCursorDepth = 0;
  int waitCursorShows = 0;
  std::optional<int> dialogResult;
  std::pair<int, int> windowSize{0, 0};
  std::vector<platform::FileDialogRequest> fileDialogs;
  std::optional<std::string> nextChosenFile;  // what the next chooseFile returns
  std::vector<std::string> revealed;
  int aboutShown = 0;
  std::vector<int> progressHistory;

 private:
  std::map<int, Control> controls_;
  int progress_ = 0;
  mutable std::mutex queueMutex_;
  std::condition_variable queueChanged_;
  std::deque<std::function<void()>> queue_;
  bool queueClosed_ = false;
};

}  // namespace vexlo::testing
