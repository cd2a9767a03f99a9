#include "app/HeadlessHost.h"

#include <utility>

#include "res/ControlIds.h"

namespace vexlo::app {

HeadlessHost::HeadlessHost(const res::DialogTemplate& dialog) {
  for (const res::ControlTemplate& control : dialog.controls) {
    if (control.kind == res::ControlKind::kDropDownList) {
      controls_[control.id].listSize = static_cast<int>(control.list.size());
    }
  }
}

const HeadlessHost::Control& HeadlessHost::find(int id) const {
  static const Control kAbsent;
  const auto it = controls_.find(id);
  return it == controls_.end() ? kAbsent : it->second;
}

void HeadlessHost::setListIndex(int id, int index) {
  Control& c = controls_[id];
  c.listIndex = (index >= 0 && index < c.listSize) ? index : -1;
}

void HeadlessHost::endDialog(int result) {
  if (!result_) result_ = result;
}

void HeadlessHost::post(std::function<void()> task) {
  {
    std::lock_guard lock(queueMutex_);
    if (closed_) return;
    queue_.push_back(std::move(task));
  }
  queueChanged_.notify_all();
}

void HeadlessHost::cancel() {
  post([this] {
    if (events_) events_->onCommand(res::kIdCancel, platform::ControlEvent::kClicked);
  });
}

int HeadlessHost::runPosted() {
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

void HeadlessHost::waitForPost(std::chrono::milliseconds timeout) {
  std::unique_lock lock(queueMutex_);
  queueChanged_.wait_for(lock, timeout, [this] { return !queue_.empty(); });
}

int HeadlessHost::run(platform::DialogEvents& events) {
  events_ = &events;
  events.onInitDialog();
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock lock(queueMutex_);
      if (result_) {
        closed_ = true;
        queue_.clear();
        break;
      }
      queueChanged_.wait(lock, [this] { return !queue_.empty(); });
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    task();
  }
  events.onDestroy();
  events_ = nullptr;
  return *result_;
}

}  // namespace vexlo::app
