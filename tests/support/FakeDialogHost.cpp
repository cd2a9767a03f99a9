#include "tests/support/FakeDialogHost.h"

#include "res/ControlIds.h"

namespace vexlo::testing {

namespace {
constexpr int kListSizes[][2] = {
    {res::id::kProfileList, 3}, {res::id::kCrfList, 14}, {res::id::kResizeList, 15},
    {res::id::kFpsList, 13},    {res::id::kGpuList, 3},
};
}  // namespace

FakeDialogHost::FakeDialogHost() {
  for (const auto& [id, size] : kListSizes) controls_[id].listSize = size;
}

std::string FakeDialogHost::text(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? std::string() : it->second.text;
}
void FakeDialogHost::setText(int id, std::string_view text) { controls_[id].text = text; }
void FakeDialogHost::appendText(int id, std::string_view text) { controls_[id].text += text; }

int FakeDialogHost::listIndex(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? -1 : it->second.listIndex;
}
void FakeDialogHost::setListIndex(int id, int index) {
  Control& c = controls_[id];
  c.listIndex = (index >= 0 && index < c.listSize) ? index : -1;
}

bool FakeDialogHost::checked(int id) const {
  auto it = controls_.find(id);
  return it != controls_.end() && it->second.checked;
}
void FakeDialogHost::setChecked(int id, bool checked) { controls_[id].checked = checked; }
bool FakeDialogHost::enabled(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() || it->second.enabled;
}
void FakeDialogHost::setEnabled(int id, bool enabled) { controls_[id].enabled = enabled; }
bool FakeDialogHost::visible(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() || it->second.visible;
}
void FakeDialogHost::setVisible(int id, bool visible) { controls_[id].visible = visible; }
void FakeDialogHost::setReadOnly(int id, bool readOnly) { controls_[id].readOnly = readOnly; }
bool FakeDialogHost::readOnly(int id) const {
  auto it = controls_.find(id);
  return it != controls_.end() && it->second.readOnly;
}

int FakeDialogHost::progress() const { return progress_; }
void FakeDialogHost::setProgress(int position) {
  progress_ = position;
  progressHistory.push_back(position);
}

void FakeDialogHost::setWaitCursor(bool on) {
  waitCursorDepth += on ? 1 : -1;
  if (on) ++waitCursorShows;
}
void FakeDialogHost::resizeWindow(int width, int height) { windowSize = {width, height}; }
void FakeDialogHost::endDialog(int result) {
  if (!dialogResult) dialogResult = result;
}

std::optional<std::string> FakeDialogHost::chooseFile(const platform::FileDialogRequest& request) {
  fileDialogs.push_back(request);
  auto chosen = nextChosenFile;
  nextChosenFile.reset();
  return chosen;
}
void FakeDialogHost::revealInFileManager(const std::string& path) { revealed.push_back(path); }
void FakeDialogHost::showAbout() { ++aboutShown; }

void FakeDialogHost::post(std::function<void()> task) {
  {
    std::lock_guard lock(queueMutex_);
    if (queueClosed_) return;
    queue_.push_back(std::move(task));
  }
  queueChanged_.notify_all();
}

int FakeDialogHost::runPosted() {
  int ran = 0;
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard lock(queueMutex_);
      if (queue_.empty()) return ran;
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    task();
    ++ran;
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
    queueChanged_.wait_for(lock, std::chrono::milliseconds(10), [&] { return !queue_.empty(); });
  }
}

void FakeDialogHost::closeQueue() {
  std::lock_guard lock(queueMutex_);
  queueClosed_ = true;
  queue_.clear();
}

}  // namespace vexlo::testing
