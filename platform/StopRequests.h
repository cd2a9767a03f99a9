#pragma once

#include <functional>
#include <memory>

// Requests to stop the program (signals here, console events on Windows) delivered to one
// watcher.

namespace vexlo::platform {

/// While it lives, calls `stop` each time the program is asked to end: SIGINT, SIGTERM or SIGHUP
/// here; a console's Ctrl+C, Ctrl+Break, close, logoff or shutdown event on Windows. `stop` runs
/// on a thread of its own, never inside a signal handler, so it may lock, allocate and post to
/// a window's thread. The destructor returns once a call under way has ended; a request that
/// comes after that is ignored (the program is ending then). One at a time in a program.
class StopRequests {
 public:
  explicit StopRequests(std::function<void()> stop);
  ~StopRequests();
  StopRequests(const StopRequests&) = delete;
  StopRequests& operator=(const StopRequests&) = delete;

 private:
  struct Watch;
  std::unique_ptr<Watch> watch_;
};

}  // namespace vexlo::platform
