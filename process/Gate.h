#pragma once

#include <condition_variable>
#include <mutex>

// A gate that threads wait at until another opens it.

namespace vexlo::process {

/// A gate that threads wait at until another thread opens it: a flag behind a mutex and a
/// condition variable. Used instead of std::atomic<bool>::wait, whose libstdc++ 12 form for
/// systems without futexes (the mingw-w64 build) can lose the wake-up: the waiter compares the
/// value and only then waits on a condition variable that the notifier signals without taking
/// its mutex, so a notification that comes in between is lost and the waiter sleeps for good.
/// The reader of a runner slept so under Wine, and its job never reached its end.
class Gate {
 public:
  void open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    opened_.notify_all();
  }
  void close() {
    std::lock_guard lock(mutex_);
    open_ = false;
  }
  /// Returns at once while the gate is open; else when it opens.
  void waitOpen() {
    std::unique_lock lock(mutex_);
    opened_.wait(lock, [this] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = false;
};

}  // namespace vexlo::process
