#include "platform/StopRequests.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <thread>
#include <utility>

#include "platform/FileDescriptor.h"

namespace vexlo::platform {

namespace {

// The handler only writes a byte to a pipe that a watch's thread reads. The pipe is made once
// and never closed: a signal may come at any moment, after every watch has gone too, and its
// write must never land in a file that took a closed descriptor's number.
int requestsWriteEnd = -1;

void OnStopSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const auto written = ::write(requestsWriteEnd, &byte, 1);
  errno = saved;
}

// The read end of the requests' pipe; at the first call, the pipe is made and the handler set
// for the three signals (SA_RESTART: the other threads' calls go on where they can). Tools get
// the signals' default actions back when they start.
const UniqueFd& Requests() {
  static const Pipe* const requests = [] {
    auto* made = new Pipe;  // kept for the program's life, see requestsWriteEnd
    if (MakePipe(*made, PipeBlocking::kNeitherBlocks) != 0) return made;
    requestsWriteEnd = made->write.get();
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
    return made;
  }();
  return requests->read;
}

}  // namespace

struct StopRequests::Watch {
  std::function<void()> stop;
  Pipe end;  // written by the destructor: the thread ends
  std::thread thread;
};

StopRequests::StopRequests(std::function<void()> stop) : watch_(std::make_unique<Watch>()) {
  watch_->stop = std::move(stop);
  const UniqueFd& requests = Requests();
  if (!requests.valid() || MakePipe(watch_->end, PipeBlocking::kNeitherBlocks) != 0) return;
  DrainWakeUps(requests);  // what came while no watch lived was ignored
  watch_->thread = std::thread([watch = watch_.get(), &requests] {
    for (;;) {
      switch (WaitDataOrWake(requests, watch->end.read)) {
        case Readable::kData:
          DrainWakeUps(requests);
          watch->stop();
          break;
        case Readable::kNeither:
          break;
        case Readable::kWake:
        case Readable::kFailed:
          return;
      }
    }
  });
}

StopRequests::~StopRequests() {
  if (!watch_->thread.joinable()) return;
  SignalWakeUp(watch_->end.write);
  watch_->thread.join();
}

}  // namespace vexlo::platform
