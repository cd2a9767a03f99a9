#include "hosts/PostQueue.h"

#include <utility>

namespace vexlo::hosts {

void PostQueue::open(std::function<void()> wake) {
  std::lock_guard lock(mutex_);
  wake_ = std::move(wake);
  open_ = true;
}

void PostQueue::post(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    if (!open_) return;
    tasks_.push_back(std::move(task));
    if (wake_) wake_();
  }
  posted_.notify_all();
}

bool PostQueue::runNext() {
  std::function<void()> task;
  {
    std::lock_guard lock(mutex_);
    if (tasks_.empty()) return false;
    task = std::move(tasks_.front());
    tasks_.pop_front();
  }
  task();
  return true;
}

int PostQueue::runAll() {
  int ran = 0;
  while (runNext()) ++ran;
  return ran;
}

void PostQueue::waitForTask() {
  std::unique_lock lock(mutex_);
  posted_.wait(lock, [this] { return !tasks_.empty(); });
}

void PostQueue::waitForTask(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  posted_.wait_for(lock, timeout, [this] { return !tasks_.empty(); });
}

void PostQueue::close() {
  std::deque<std::function<void()>> dropped;
  {
    std::lock_guard lock(mutex_);
    open_ = false;
    wake_ = nullptr;
    dropped.swap(tasks_);
  }
}

}  // namespace vexlo::hosts
