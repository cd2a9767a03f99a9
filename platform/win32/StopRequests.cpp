#include "platform/StopRequests.h"

#include <windows.h>

#include <mutex>
#include <utility>

namespace vexlo::platform {

struct StopRequests::Watch {
  std::function<void()> stop;
};

namespace {

// The watch that takes the console's events, under its lock. Made once and never destroyed: the
// system calls the handler on a thread of its own at any moment, while the program ends too.
struct Current {
  std::mutex lock;
  const std::function<void()>* stop = nullptr;
};
Current& TheCurrent() {
  static Current* const current = new Current;
  return *current;
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
  {
    Current& current = TheCurrent();
    const std::lock_guard<std::mutex> lock(current.lock);
    if (current.stop != nullptr) (*current.stop)();
  }
  // The system ends the program as soon as the handler returns from a close, logoff or
  // shutdown event; this thread waits instead, so that the program ends by itself (its tools
  // stopped, its status its own) within the time the system allows.
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    ::Sleep(INFINITE);
  }
  return TRUE;
}

}  // namespace

StopRequests::StopRequests(std::function<void()> stop) : watch_(std::make_unique<Watch>()) {
  watch_->stop = std::move(stop);
  static const bool handled = ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE) != 0;
  (void)handled;
  Current& current = TheCurrent();
  const std::lock_guard<std::mutex> lock(current.lock);
  current.stop = &watch_->stop;
}

StopRequests::~StopRequests() {
  Current& current = TheCurrent();
  const std::lock_guard<std::mutex> lock(current.lock);
  current.stop = nullptr;
}

}  // namespace vexlo::platform
