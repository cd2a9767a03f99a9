#include "tests/support/FakeDialogHost.h"

#include <utility>

#include "res/ControlIds.h"

namespace vexlo::testing {

FakeDialogHost::FakeDialogHost() {
  for (const auto& [id, size] : {std::pair{res::id::kProfileList, 3},
                                 {res::id::kCrfList, 14},
                                 {res::id::kResizeList, 15},
                                 {res::id::kFpsList, 13},
                                 {res::id::kGpuList, 3}}) {
    controls_[id].listSize = size;
  }
}

const FakeDialogHost::Control& FakeDialogHost::find(int id) const {
  static const Control kAbsent;
  const auto it = controls_.find(id);
  return it == controls_.end() ? kAbsent : it->second;
}

void FakeDialogHost::setListIndex(int id, int index) {
  Control& c = controls_[id];
  c.listIndex = (index >= 0 && index < c.listSize) ? index : -1;
}

void FakeDialogHost::setProgress(int position) {
  progress_ = position;
  progressHistory.push_back(position);
}

void FakeDialogHost::endDialog(int result) {
  if (!dialogResult) dialogResult = result;
}

std::optional<std::string> FakeDialogHost::chooseFile(const platform::FileDialogRequest& request) {
  fileDialogs.push_back(request);
  return std::exchange(nextChosenFile, std::nullopt);
}

void FakeDialogHost::setTableRow(int id, std::size_t row, const std::vector<std::string>& cells) {
  if (row < tables[id].size()) tables[id][row] = cells;
}

std::vector<std::size_t> FakeDialogHost::selectedRows(int id) const {
  const auto it = selections.find(id);
  return it == selections.end() ? std::vector<std::size_t>() : it->second;
}

std::vector<std::string> FakeDialogHost::chooseFiles(const platform::FileDialogRequest& request) {
  fileDialogs.push_back(request);
  return std::exchange(nextChosenFiles, {});
}

platform::DialogHost* FakeDialogHost::openWindow(int templateId, platform::DialogEvents& events) {
  auto& window = windows[templateId];
  if (!window) {
    window = std::make_unique<FakeDialogHost>();
    events.onInitDialog();
  }
  return window.get();
}

void FakeDialogHost::post(std::function<void()> task) {
  {
    std::lock_guard lock(queueMutex_);
    queue_.push_back(std::move(task));
  }
  queueChanged_.notify_all();
}

int FakeDialogHost::runPosted() {
  for (int ran = 0;; ++ran) {
    std::function<void()> task;
    {
      std::lock_guard lock(queueMutex_);
      if (queue_.empty()) return ran;
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    task();
  }
}

bool FakeDialogHost::pumpUntil(const std::function<bool()>& condition,
                               std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    runPosted();
    if (condition()) return true;
    std::unique_lock lock(queueMutex_);
    if (std::chrono::steady_clock::now() >= deadline) return false;
    // Also re-checks now and then: some conditions change without a posted task.
    queueChanged_.wait_for(lock, std::chrono::milliseconds(10), [&] { return !queue_.empty(); });
  }
}

}  // namespace vexlo::testing
