#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

// The queue of tasks posted to a window's thread, for every host.

namespace vexlo::hosts {

/// The tasks posted to a window's thread (DialogHost::post), for every host: queued in the order
/// of posting from any thread, run on the window's thread, and dropped once the window has ended.
/// A host opens the queue with the way to wake its window's thread (a queued call, a window
/// message) and closes it when the window ends.
class PostQueue {
 public:
  /// Queues posts from now on; `wake` is called once for each post, under the queue's lock, so
  /// it is never called once close() has returned (the host may be gone by then).
  void open(std::function<void()> wake = {});
  /// Queues a task and wakes the window's thread; dropped while the queue is not open. Never
  /// waits for the window's thread.
  void post(std::function<void()> task);
  /// Runs the oldest queued task; false when there was none.
  bool runNext();
  /// Runs queued tasks, those they post included, until none is left; returns how many ran.
  int runAll();
  /// Waits until a task is queued (or, with a timeout, until it has passed).
  void waitForTask();
  void waitForTask(std::chrono::milliseconds timeout);
  /// Drops the queued tasks and every later post. Safe from any thread.
  void close();

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> tasks_;
  std::function<void()> wake_;
  bool open_ = false;
};

}  // namespace vexlo::hosts
