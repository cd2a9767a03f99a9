#pragma once

// The one way Vexlo runs a tool: a child process, its output in chunks, a watchdog, and one end.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/FileDescriptor.h"
#include "process/FailureReason.h"
#include "process/RunEnd.h"
#include "process/Gate.h"

namespace vexlo::process {

class ChunkAssembler;

enum RunnerState : std::int32_t {
  kRunnerNotStarted = 0,
  kRunnerRunning = 1,
  kRunnerEnded = 2,
  kRunnerStartFailed = -1,
};

// One run of one tool command line as a child process whose standard output and standard error
// arrive through one pipe, chunk by chunk, each at most 1024 bytes: a chunk ends after a line feed
// (kept); progress pieces (ended by a CR alone) share chunks but are never cut, and go out as soon
// as the pipe is empty (after up to 10 ms for an LF that would follow a last CR). A supervisor
// thread spawns and polls the child and reaps it (and its guard, see platform::ChildProcess)
// before it ends; a reader thread delivers the chunks. The watchdog stops the child after
// `stallPolls` + 1 polls in a row during which it wrote no byte at all. Stopping a child
// means its whole process group: SIGTERM, and SIGKILL when anything of it is left after 1 s (on
// Windows its job object, ended at once).
//
// What it tells its owner (its `watch`, see ToolWatch):
//   clean end:      started, outputs, ended (finished)
//   tool failure:   started, outputs, ended (failed: exit code or signal)
//   watchdog:       started, outputs, ended (failed: the silence; child stopped)
//   write failure:  started, outputs, ended (failed: exit code 0, a kept line said so)
//   stop:           started, outputs, ended (cancelled; child stopped)
//   start failure:  ended (failed, not started) only; the state becomes -1
// Outputs never arrive after the end, and the reader has delivered the tool's last output
// before it: a failure's reason holds the tool's last words.
//
// Construct, SetCommandLine, Start, Stop, Close and destroy on one thread (the owner's), never
// from inside the watch: Stop and Close refuse to run on the runner's own threads.
class ProcessRunner {
 public:
  static constexpr std::chrono::milliseconds kDefaultPollInterval{100};
  static constexpr int kDefaultStallPolls = 400;  // the 401st silent poll of 100 ms stops it
  static constexpr int kChunkSize = 1024;

  explicit ProcessRunner(std::chrono::milliseconds pollInterval = kDefaultPollInterval,
                         int stallPolls = kDefaultStallPolls);
  ~ProcessRunner();  // Close
  ProcessRunner(const ProcessRunner&) = delete;
  ProcessRunner& operator=(const ProcessRunner&) = delete;

  /// Copies the command line; -1 for a null pointer (the old one stays), else 0. No length limit.
  int SetCommandLine(const char* commandLine);
  /// The directory the tool runs in (where it writes its report); empty: the program's own.
  void SetWorkingDirectory(std::string directory) { workingDirectory_ = std::move(directory); }
  /// The priority the tool runs at (ChildPriority::kLow: below this program's).
  void SetPriority(platform::ChildPriority priority) { priority_ = priority; }
  /// Starts the run; writes nothing to standard output (it is for a script's results). A second
  /// Start while the supervisor exists does nothing. 0, or the errno of the supervisor thread's
  /// creation when it failed (its end is then told here, on the owner's thread).
  [[nodiscard]] int Start();
  /// Stops a running child (see above; at most about 1 s) and waits for the supervisor to end.
  /// Safe when nothing runs.
  /// Returns 0, or -1 when called from one of the runner's own threads (refused).
  int Stop();
  /// Stop, then releases the pipe ends. 0, or -1 when refused like Stop.
  int Close();

  /// 0 not started, 1 running, 2 ended, -1 failed to start.
  std::int32_t state() const { return state_.load(); }
  /// The child's wait status as waitpid reported it, or -1 before the child has been reaped.
  int waitStatus() const { return waitStatus_.load(); }
  /// Chunks delivered in this run.
  std::int32_t chunkCount() const { return chunkCounter_.load(); }
  const std::string& commandLine() const { return commandLine_; }
  std::chrono::milliseconds pollInterval() const { return pollInterval_; }
  int stallPolls() const { return stallPolls_; }
  /// True on one of this runner's own threads (supervisor or reader).
  bool onOwnThread() const;

  /// What the run tells its owner: set after SetCommandLine and before Start.
  ToolWatch watch;

 private:
  // How the supervisor's watch over a running child ended.
  enum class WatchEnd { kExited, kStopped, kStalled };

  void supervise();
  // Starts the reader thread; 0 or the errno of the failure.
  int startReader();
  // Polls the child until it ends, the owner stops it or the watchdog fires.
  WatchEnd watchChild(platform::ChildProcess& child);
  // Gives the reader its grace time to see end-of-file, then wakes it and joins it.
  void endReader();
  void read();
  // Takes what the ended child left in the pipe once the reader has been woken.
  void drainOutput(ChunkAssembler& chunks, char* block);
  void deliver(const char* data, int length);
  // Tells the owner how the run ended.
  void notifyEnd(ToolEnd end);
  // How a started tool ended: its exit code or signal, and the watchdog's silence.
  FailureReason endReason(bool stalled) const;
  // Makes the four pipes of a run; 0 or the errno of the pipe that failed.
  int makePipes();
  void releasePipes();
  // True (and an assertion in debug builds) on one of the runner's own threads.
  bool refuseOwnThread() const;

  std::chrono::milliseconds pollInterval_;
  int stallPolls_;
  std::string commandLine_;
  std::string workingDirectory_;
  platform::ChildPriority priority_ = platform::ChildPriority::kNormal;
  std::atomic<std::int32_t> state_{kRunnerNotStarted};
  std::atomic<std::int32_t> chunkCounter_{0};
  std::atomic<std::int64_t> bytesRead_{0};  // what the watchdog watches
  std::atomic<int> waitStatus_{-1};

  // The arguments of the run, split by Start on the owner's thread.
  std::vector<std::string> arguments_;
  // 0, or the errno of the pipe creation that failed in Start: the run then fails to start.
  int pipeFailure_ = 0;
  std::thread supervisor_;  // touched only by the owner's thread
  std::thread reader_;      // touched only by the supervisor
  std::atomic<std::thread::id> supervisorId_{};
  std::atomic<std::thread::id> readerId_{};
  platform::Pipe output_;  // the child's standard output and error; the reader reads it
  platform::Pipe input_;   // the child's standard input, never written
  platform::Pipe events_;  // wakes the supervisor: a stop request or the reader's end
  platform::Pipe wake_;    // wakes the reader when its grace time is over
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> readerEnded_{false};
  // The reader delivers nothing before the started notification has returned (opened then).
  Gate startedTold_;
  // The lines the owner kept out of its log: the reader writes them, the supervisor reads them
  // once the reader has ended.
  KeptOutLines keptOut_;
};

}  // namespace vexlo::process
