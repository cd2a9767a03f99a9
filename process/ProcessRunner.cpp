#include "process/ProcessRunner.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cerrno>
#include <system_error>
#include <utility>

#include "platform/CommandLineSplit.h"
#include "process/ChunkAssembler.h"

namespace vexlo::process {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How long the reader may take, after the child has ended, to see end-of-file by itself.
constexpr milliseconds kReaderGrace{100};
// The reader takes the pipe's bytes in blocks of this size.
constexpr std::size_t kReadBlockSize = 64 * 1024;
constexpr std::chrono::microseconds kGatherPause{1000};
// Progress pieces whose last byte is a CR go out when no LF has followed within this time (a
// CR LF written in two writes stays one line end).
constexpr milliseconds kLineFeedWait{10};
// Once woken, the reader still takes what the ended child left in the pipe, but no more than
// this, so that a grandchild that keeps writing cannot hold it forever.
constexpr std::size_t kDrainLimit = 16 * 1024 * 1024;

using platform::WaitReadable;

milliseconds TimeLeft(Clock::time_point deadline) {
  return std::chrono::ceil<milliseconds>(deadline - Clock::now());
}

bool ExitedWithZero(int waitStatus) {
  if (waitStatus == -1) return false;
  const platform::ChildEnd end = platform::DescribeWaitStatus(waitStatus);
  return end.exited && end.exitCode == 0;
}

}  // namespace

ProcessRunner::ProcessRunner(milliseconds pollInterval, int stallPolls)
    : pollInterval_(pollInterval), stallPolls_(stallPolls) {}

ProcessRunner::~ProcessRunner() {
  Close();
}

int ProcessRunner::SetCommandLine(const char* commandLine) {
  if (commandLine == nullptr) return -1;
  commandLine_ = commandLine;
  return 0;
}

int ProcessRunner::Start() {
  if (supervisor_.joinable()) return 0;
  releasePipes();  // what an earlier, stopped run left
  arguments_ = platform::SplitCommandLine(commandLine_);
  pipeFailure_ = makePipes();
  stopRequested_.store(false);
  try {
    supervisor_ = std::thread(&ProcessRunner::supervise, this);
  } catch (const std::system_error& failed) {
    // Without a supervisor nothing runs: report it as a failed start, here.
    releasePipes();
    state_.store(kRunnerStartFailed);
    FailureReason reason;
    reason.program = arguments_.empty() ? std::string() : arguments_.front();
    reason.startError = failed.code().value();
    ToolEnd end;
    end.started = false;
    end.reason = std::move(reason);
    notifyEnd(std::move(end));
    return failed.code().value();
  }
  return 0;
}

int ProcessRunner::Stop() {
  if (refuseOwnThread()) return -1;
  if (!supervisor_.joinable()) return 0;
  stopRequested_.store(true);
  platform::SignalWakeUp(events_.write);
  supervisor_.join();
  events_ = platform::Pipe{};
  wake_ = platform::Pipe{};
  return 0;
}

int ProcessRunner::Close() {
  if (Stop() != 0) return -1;
  releasePipes();
  return 0;
}

bool ProcessRunner::onOwnThread() const {
  const std::thread::id self = std::this_thread::get_id();
  return self == supervisorId_.load() || self == readerId_.load();
}

bool ProcessRunner::refuseOwnThread() const {
  const bool own = onOwnThread();
  assert(!own && "a runner stopped from its own thread would wait for itself");
  return own;
}

int ProcessRunner::makePipes() {
  using platform::PipeBlocking;
  int failure = platform::MakePipe(output_, PipeBlocking::kReadEndNonBlocking);
  if (failure == 0) failure = platform::MakePipe(input_, PipeBlocking::kBothBlock);
  if (failure == 0) failure = platform::MakePipe(events_, PipeBlocking::kNeitherBlocks);
  if (failure == 0) failure = platform::MakePipe(wake_, PipeBlocking::kNeitherBlocks);
  return failure;
}

void ProcessRunner::releasePipes() {
  output_ = platform::Pipe{};
  input_ = platform::Pipe{};
  events_ = platform::Pipe{};
  wake_ = platform::Pipe{};
}

void ProcessRunner::supervise() {
  supervisorId_.store(std::this_thread::get_id());
  state_.store(kRunnerNotStarted);
  waitStatus_.store(-1);
  platform::ChildProcess child;
  int failure = pipeFailure_;
  child.SetPriority(priority_);
  if (failure == 0)
    failure = child.Spawn(arguments_, input_.read.get(), output_.write.get(), workingDirectory_);
  // The parent drops its copies of the child's ends, so that the reader sees end-of-file once
  // the tool and everything it started have closed theirs.
  input_.read.reset();
  output_.write.reset();
  if (failure == 0) failure = startReader();
  if (failure != 0) {
    child.Kill();
    child.Reap();
    FailureReason reason;
    reason.program = arguments_.empty() ? std::string() : arguments_.front();
    reason.startError = failure;
    ToolEnd end;
    end.started = false;
    end.reason = std::move(reason);
    state_.store(kRunnerStartFailed);
    notifyEnd(std::move(end));
    supervisorId_.store({});
    return;
  }
  state_.store(kRunnerRunning);
  if (watch.started) watch.started();
  startedTold_.open();
  const WatchEnd end = watchChild(child);
  // A stopped tool is asked to end (SIGTERM, so that FFmpeg finishes its file) and killed only
  // when it or what it started is still there after a second; its output keeps arriving.
  if (end != WatchEnd::kExited) waitStatus_.store(child.Stop());
  endReader();
  ToolEnd told;
  if (end == WatchEnd::kStopped) {
    told.outcome = JobOutcome::kCancelled;
  } else if (end == WatchEnd::kStalled || !ExitedWithZero(waitStatus_.load())) {
    told.reason = endReason(end == WatchEnd::kStalled);
    told.reason.lastLines = keptOut_.Pick();
  } else if (keptOut_.WriteFailed()) {
    // Exit code 0, yet the tool could not write its output whole (a full disk at the trailer).
    told.reason.program = arguments_.empty() ? std::string() : arguments_.front();
    told.reason.lastLines = keptOut_.Pick();
  } else {
    told.outcome = JobOutcome::kFinished;
  }
  state_.store(kRunnerEnded);
  notifyEnd(std::move(told));
  supervisorId_.store({});
}

int ProcessRunner::startReader() {
  keptOut_.Clear();
  chunkCounter_.store(0);
  bytesRead_.store(0);
  readerEnded_.store(false);
  startedTold_.close();
  try {
    reader_ = std::thread(&ProcessRunner::read, this);
  } catch (const std::system_error& failure) {
    return failure.code().value();
  }
  return 0;
}

ProcessRunner::WatchEnd ProcessRunner::watchChild(platform::ChildProcess& child) {
  int stalledPolls = 0;
  std::int64_t lastSeen = 0;
  auto nextPoll = Clock::now() + pollInterval_;
  // Once the reader has seen end-of-file the child is about to end: look for it sooner than
  // the next poll, backing off in case it lives on without its output.
  milliseconds exitCheck{1};
  for (;;) {
    milliseconds timeout = TimeLeft(nextPoll);
    if (readerEnded_.load()) {
      timeout = std::min(timeout, exitCheck);
      exitCheck *= 2;
    }
    if (WaitReadable(events_.read, timeout)) platform::DrainWakeUps(events_.read);
    if (stopRequested_.load()) return WatchEnd::kStopped;
    int status = -1;
    if (child.TryReap(status)) {
      waitStatus_.store(status);
      return WatchEnd::kExited;
    }
    if (Clock::now() < nextPoll) continue;
    nextPoll = Clock::now() + pollInterval_;
    // Any byte from the tool counts, a progress piece that has not ended a chunk too.
    const std::int64_t count = bytesRead_.load();
    stalledPolls = count == lastSeen ? stalledPolls + 1 : 0;
    lastSeen = count;
    if (stalledPolls > stallPolls_) return WatchEnd::kStalled;
  }
}

void ProcessRunner::endReader() {
  const auto deadline = Clock::now() + kReaderGrace;
  while (!readerEnded_.load()) {
    const milliseconds left = TimeLeft(deadline);
    if (left.count() <= 0) {
      platform::SignalWakeUp(wake_.write);
      break;
    }
    if (WaitReadable(events_.read, left)) platform::DrainWakeUps(events_.read);
  }
  reader_.join();
  readerId_.store({});
}

void ProcessRunner::read() {
  readerId_.store(std::this_thread::get_id());
  // The tool may write before its start is told; what it writes waits in the pipe meanwhile.
  startedTold_.waitOpen();
  static_assert(ChunkAssembler::kChunkSize == kChunkSize);
  ChunkAssembler chunks(
      [](const char* data, int length, void* self) {
        static_cast<ProcessRunner*>(self)->deliver(data, length);
      },
      this);
  std::array<char, kReadBlockSize> block;
  for (;;) {
    const platform::Readable ready = platform::WaitDataOrWake(output_.read, wake_.read);
    if (ready == platform::Readable::kFailed) break;
    if (ready == platform::Readable::kWake) {
      drainOutput(chunks, block.data());
      break;
    }
    if (ready == platform::Readable::kNeither) continue;
    // Read until the pipe is empty before waiting again: one poll per burst of output, not one
    // per block.
    long got = 0;
    std::size_t burst = 0;
    while ((got = platform::ReadAvailable(output_.read, block.data(), block.size())) > 0) {
      bytesRead_.fetch_add(got);
      chunks.add(block.data(), static_cast<std::size_t>(got));
      burst += static_cast<std::size_t>(got);
    }
    if (got < 0 && errno == EAGAIN) {
      if (chunks.piecesWaiting()) {
        // The pipe is empty: the whole progress pieces go out now; when the last byte is a CR,
        // once no LF has followed it at once (CR LF ends a line, and stays with it).
        if (chunks.endsWithCr() && WaitReadable(output_.read, kLineFeedWait)) continue;
        chunks.flushPieces();
      } else if (burst < block.size()) {
        // A tool that reports in many small writes would wake the reader for each one; a short
        // pause lets them gather in the pipe (far from full) and be read in one go.
        std::this_thread::sleep_for(kGatherPause);
      }
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    break;  // end-of-file, or a failed read
  }
  chunks.flushPieces();  // the pieces, whole, and then what followed them
  chunks.flush();
  readerEnded_.store(true);
  platform::SignalWakeUp(events_.write);
}

void ProcessRunner::drainOutput(ChunkAssembler& chunks, char* block) {
  std::size_t taken = 0;
  while (taken < kDrainLimit) {
    const long got = platform::ReadAvailable(output_.read, block, kReadBlockSize);
    if (got > 0) {
      chunks.add(block, static_cast<std::size_t>(got));
      taken += static_cast<std::size_t>(got);
    } else if (got == 0 || errno != EINTR) {
      return;
    }
  }
}

void ProcessRunner::deliver(const char* data, int length) {
  if (watch.output) watch.output(std::string_view(data, static_cast<std::size_t>(length)), keptOut_);
  chunkCounter_.fetch_add(1);
}

void ProcessRunner::notifyEnd(ToolEnd end) {
  if (watch.ended) watch.ended(end);
}

FailureReason ProcessRunner::endReason(bool stalled) const {
  FailureReason reason;
  reason.program = arguments_.empty() ? std::string() : arguments_.front();
  if (stalled) reason.silence = pollInterval_ * (stallPolls_ + 1);
  const int status = waitStatus_.load();
  if (status == -1) {
    reason.exitCode = -1;  // the exit status could not be read
  } else if (const platform::ChildEnd ended = platform::DescribeWaitStatus(status); ended.signal) {
    reason.signal = ended.signal;
  } else if (ended.exited) {
    reason.exitCode = ended.exitCode;
  }
  return reason;
}

}  // namespace vexlo::process
