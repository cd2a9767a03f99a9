#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
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
    bool checked = false, enabled = true, visible = true;
  };

  FakeDialogHost();
  std::string text(int id) const override { return find(id).text; }
  void setText(int id, std::string_view text) override { controls_[id].text = text; }
  void appendText(int id, std::string_view text) override { controls_[id].text += text; }
  int listIndex(int id) const override { return find(id).listIndex; }
  void setListIndex(int id, int index) override;
  bool checked(int id) const override { return find(id).checked; }
  void setChecked(int id, bool checked) override { controls_[id].checked = checked; }
  bool enabled(int id) const override { return find(id).enabled; }
  void setEnabled(int id, bool enabled) override { controls_[id].enabled = enabled; }
  bool visible(int id) const override { return find(id).visible; }
  void setVisible(int id, bool visible) override { controls_[id].visible = visible; }
  void setReadOnly(int, bool) override {}
  int progress() const override { return progress_; }
  void setProgress(int position) override;
  void setWaitCursor(bool on) override { waitCursorDepth += on ? 1 : -1; }
  void resizeWindow(int, int) override {}
  void endDialog(int result) override;
  std::optional<std::string> chooseFile(const platform::FileDialogRequest& request) override;
  void revealInFileManager(const std::string& path) override { revealed.push_back(path); }
  void showAbout() override {}
  void post(std::function<void()> task) override;
  void setTableRowCount(int id, std::size_t rows) override { tables[id].resize(rows); }
  void setTableRow(int id, std::size_t row, const std::vector<std::string>& cells) override;
  std::vector<std::size_t> selectedRows(int id) const override;
  void selectRows(int id, const std::vector<std::size_t>& rows) override { selections[id] = rows; }
  std::vector<std::string> chooseFiles(const platform::FileDialogRequest& request) override;
  std::optional<std::string> chooseFolder(const platform::FileDialogRequest& request) override {
    fileDialogs.push_back(request);
    return std::exchange(nextChosenFile, std::nullopt);
  }
  bool windowActive() const override { return active; }
  void notifyDesktop(const std::string& summary, const std::string& body) override {
    notifications.push_back(summary + ": " + body);
  }
  void setTaskProgress(int position, bool visible) override { taskProgress = visible ? position : -1; }
  /// Another fake host, made (and its events' onInitDialog called) at the first call.
  platform::DialogHost* openWindow(int templateId, platform::DialogEvents& events) override;

  /// Runs every task posted so far (and those they post); returns how many ran.
  int runPosted();
  /// Runs posted tasks as they arrive until the condition holds or the time is up.
  bool pumpUntil(const std::function<bool()>& condition,
                 std::chrono::milliseconds timeout = std::chrono::seconds(60));

  int waitCursorDepth = 0;
  std::optional<int> dialogResult;
  std::vector<platform::FileDialogRequest> fileDialogs;
  std::optional<std::string> nextChosenFile;  // what the next chooseFile or chooseFolder returns
  std::vector<std::string> revealed;
  std::vector<int> progressHistory;
  std::map<int, std::vector<std::vector<std::string>>> tables;  // rows of cells, by table
  std::map<int, std::vector<std::size_t>> selections;
  std::vector<std::string> nextChosenFiles;  // what the next chooseFiles returns
  bool active = true;
  std::vector<std::string> notifications;  // "summary: body"
  int taskProgress = -1;                   // -1: no bar on the launcher
  std::map<int, std::unique_ptr<FakeDialogHost>> windows;  // opened by openWindow, by template

 private:
  const Control& find(int id) const;
  std::map<int, Control> controls_;
  int progress_ = 0;
  std::mutex queueMutex_;
  std::condition_variable queueChanged_;
  std::deque<std::function<void()>> queue_;
};

}  // namespace vexlo::testing
