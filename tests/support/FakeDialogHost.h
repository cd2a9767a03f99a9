#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/HeadlessHost.h"

namespace vexlo::testing {

// The headless host of the main window (or of another of the program's windows), as the tests
// drive it: the test's own thread plays the window's thread (posted tasks wait until the test
// runs them with runPosted() or pumpUntil()), it counts as a window someone sees (not headless),
// and it records what the window asked of it.
class FakeDialogHost : public app::HeadlessHost {
 public:
  FakeDialogHost();
  explicit FakeDialogHost(const res::DialogTemplate& dialog);
  void setProgress(int position) override;
  void setWaitCursor(bool on) override { waitCursorDepth += on ? 1 : -1; }
  std::optional<std::string> chooseFile(const hosts::FileDialogRequest& request) override;
  void revealInFileManager(const std::string& path) override { revealed.push_back(path); }
  bool headless() const override { return false; }
  void setTableRowCount(int id, std::size_t rows) override { tables[id].resize(rows); }
  void setTableRow(int id, std::size_t row, const std::vector<std::string>& cells) override;
  std::vector<std::size_t> selectedRows(int id) const override;
  void selectRows(int id, const std::vector<std::size_t>& rows) override { selections[id] = rows; }
  std::vector<std::string> chooseFiles(const hosts::FileDialogRequest& request) override;
  std::optional<std::string> chooseFolder(const hosts::FileDialogRequest& request) override {
    fileDialogs.push_back(request);
    return std::exchange(nextChosenFile, std::nullopt);
  }
  bool windowActive() const override { return active; }
  void notifyDesktop(const std::string& summary, const std::string& body) override {
    notifications.push_back(summary + ": " + body);
  }
  void setTaskProgress(int position, bool visible) override { taskProgress = visible ? position : -1; }
  /// Another fake host over that window's template, made (and its events' onInitDialog called)
  /// at the first call.
  hosts::DialogHost* openWindow(int templateId, hosts::DialogEvents& events) override;

  /// Runs posted tasks as they arrive until the condition holds or the time is up.
  bool pumpUntil(const std::function<bool()>& condition,
                 std::chrono::milliseconds timeout = std::chrono::seconds(60));

  int waitCursorDepth = 0;
  std::vector<hosts::FileDialogRequest> fileDialogs;
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
};

}  // namespace vexlo::testing
