#include "process/ProcessRunner.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vexlo::process {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Events = std::vector<std::string>;

std::string Tool(const std::string& arguments) {
  return "\"" VEXLO_TESTTOOL_PATH "\" " + arguments;
}

// Records every notification of one runner, with the thread that made it. Declared before the
// runner, so that it outlives the runner's threads.
class Recorder {
 public:
  void attach(ProcessRunner& runner) {
    runner.output = &Recorder::OnOutput;
    runner.started = &Recorder::OnStarted;
    runner.error = &Recorder::OnError;
    runner.finished = &Recorder::OnFinished;
    runner.outputContext = runner.startedContext = runner.endContext = this;
  }
  // Waits for finished or error -2; false after the time-out.
  bool waitEnd(std::chrono::milliseconds timeout = 10s) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return ended_; });
  }
  bool waitOutput(std::chrono::milliseconds timeout = 10s) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return !chunks_.empty(); });
  }
  Events events() const { return locked(events_); }
  std::vector<std::string> chunks() const { return locked(chunks_); }
  std::string bytes() const {
    std::string all;
    for (const std::string& chunk : chunks()) all += chunk;
    return all;
  }
  std::vector<std::thread::id> codeThreads() const { return locked(codeThreads_); }
  std::vector<std::thread::id> outputThreads() const { return locked(outputThreads_); }
  Clock::time_point endTime() const { return locked(endTime_); }

  // Called inside the output notification when set, on the reader thread.
  std::function<void()> onOutput;
  std::function<void()> onFinished;

 private:
  template <typename T>
  T locked(const T& value) const {
    std::lock_guard lock(mutex_);
    return value;
  }
  void record(std::string event, bool ends) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
    codeThreads_.push_back(std::this_thread::get_id());
    if (ends) {
      ended_ = true;
      endTime_ = Clock::now();
    }
    changed_.notify_all();
  }
  static int OnOutput(const char* data, int length, void* context) {
    auto* self = static_cast<Recorder*>(context);
    {
      std::lock_guard lock(self->mutex_);
      self->chunks_.emplace_back(data, length);
      self->outputThreads_.push_back(std::this_thread::get_id());
      self->changed_.notify_all();
    }
    if (self->onOutput) self->onOutput();
    return 0;
  }
  static int OnStarted(int code, void* context) {
    static_cast<Recorder*>(context)->record(code == 1 ? "started" : "started?", false);
    return 0;
  }
  static int OnError(int code, void* context) {
    static_cast<Recorder*>(context)->record("error " + std::to_string(code), code == -2);
    return 0;
  }
  static int OnFinished(int code, void* context) {
    auto* self = static_cast<Recorder*>(context);
    if (self->onFinished) self->onFinished();
    self->record(code == 2 ? "finished" : "finished?", true);
    return 0;
  }

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  Events events_;
  std::vector<std::string> chunks_;
  std::vector<std::thread::id> codeThreads_;
  std::vector<std::thread::id> outputThreads_;
  bool ended_ = false;
  Clock::time_point endTime_;
};

// Runs one command line to its end (finished or error -2).
void RunToEnd(ProcessRunner& runner, Recorder& recorder, const std::string& commandLine) {
  ASSERT_EQ(runner.SetCommandLine(commandLine.c_str()), 0);
  recorder.attach(runner);
  ASSERT_EQ(runner.Start(), 0);
  ASSERT_TRUE(recorder.waitEnd()) << commandLine;
}

bool ProcessExists(pid_t pid) {
  return std::filesystem::exists("/proc/" + std::to_string(pid));
}

struct SequenceCase {
  const char* arguments;
  Events events;
};

TEST(ProcessRunnerTest, NotificationSequenceFollowsTheExitStatus) {
  const SequenceCase cases[] = {
      {"", {"started", "finished"}},
      {"--lines 2", {"started", "finished"}},
      {"--exit 1", {"started", "error -3", "finished"}},
      {"--lines 2 --exit 255", {"started", "error -3", "finished"}},
      {"--abort", {"started", "error -3", "finished"}},
  };
  for (const SequenceCase& c : cases) {
    SCOPED_TRACE(c.arguments);
    Recorder recorder;
    ProcessRunner runner;
    RunToEnd(runner, recorder, Tool(c.arguments));
    EXPECT_EQ(recorder.events(), c.events);
    EXPECT_EQ(runner.state(), kRunnerEnded);
    // Started, error and finished all come from the supervisor, never the caller's thread.
    const auto threads = recorder.codeThreads();
    for (const auto& id : threads) EXPECT_EQ(id, threads.front());
    EXPECT_NE(threads.front(), std::this_thread::get_id());
    for (const auto& id : recorder.outputThreads()) EXPECT_NE(id, threads.front());
    EXPECT_EQ(runner.Close(), 0);
  }
}

struct ChunkCase {
  const char* arguments;
  std::vector<int> sizes;
  std::string bytes;  // the whole output; empty when only the sizes are checked
};

// The testtool's pieces: 'p', 'q', ... repeated, each ending in CR.
std::string CrPieces(int count, int bytes) {
  std::string piece;
  for (int i = 0; i + 1 < bytes; ++i) piece.push_back(char('p' + i % 10));
  std::string all;
  for (int i = 0; i < count; ++i) all += piece + "\r";
  return all;
}

std::string Letters(int count) {
  std::string line;
  for (int i = 0; i < count; ++i) line.push_back(char('a' + i % 26));
  return line;
}

std::string AllByteValues() {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  return all;
}

TEST(ProcessRunnerTest, ChunksEndAfterLineFeedOrAt1024Bytes) {
  const ChunkCase cases[] = {
      {"--lines 3 --text abc", {4, 4, 4}, "abc\nabc\nabc\n"},
      {"--line-bytes 3000", {1024, 1024, 953}, Letters(3000) + "\n"},
      {"--line-bytes 1023", {1024}, ""},
      // CR-only progress pieces pile up in one chunk; the last chunk comes at end-of-file.
      {"--cr-pieces 30 --piece-bytes 99", {1024, 1024, 922}, CrPieces(30, 99)},
      {"--no-newline 2500", {1024, 1024, 452}, ""},
      {"--binary", {11, 245}, AllByteValues()},
      {"--stderr --lines 2 --text err", {4, 4}, "err\nerr\n"},
  };
  for (const ChunkCase& c : cases) {
    SCOPED_TRACE(c.arguments);
    Recorder recorder;
    ProcessRunner runner;
    RunToEnd(runner, recorder, Tool(c.arguments));
    std::vector<int> sizes;
    for (const std::string& chunk : recorder.chunks()) sizes.push_back(int(chunk.size()));
    EXPECT_EQ(sizes, c.sizes);
    EXPECT_EQ(runner.chunkCount(), int(c.sizes.size()));
    if (!c.bytes.empty()) {
      EXPECT_EQ(recorder.bytes(), c.bytes);
    }
  }
}

TEST(ProcessRunnerTest, ToolThatCannotBeExecutedGivesOnlyStartFailure) {
  const std::string folder = ::testing::TempDir() + "/runner_not_executable";
  std::filesystem::create_directories(folder);
  const std::string plainFile = folder + "/plain.bin";
  const std::string notAProgram = folder + "/garbage.bin";  // executable, but not a program
  std::ofstream(plainFile) << "not a program";
  std::ofstream(notAProgram) << "\x01\x02 not a program either";
  ::chmod(notAProgram.c_str(), 0755);
  const std::string cases[] = {
      "\"/nonexistent/ffmpeg.bin\" -version",
      "\"" + folder + "\"",
      "\"" + plainFile + "\"",
      "\"" + notAProgram + "\" -i x",
      "",
      "\"\"",
  };
  for (const std::string& commandLine : cases) {
    SCOPED_TRACE(commandLine);
    Recorder recorder;
    ProcessRunner runner;
    RunToEnd(runner, recorder, commandLine);
    EXPECT_EQ(runner.Stop(), 0);  // returns at once: the supervisor has ended
    EXPECT_EQ(recorder.events(), Events{"error -2"});
    EXPECT_EQ(runner.state(), kRunnerStartFailed);
    EXPECT_EQ(runner.Close(), 0);
  }
}

TEST(ProcessRunnerTest, StopKillsTheChildAndGivesOnlyFinished) {
  Recorder recorder;
  ProcessRunner runner;
  runner.SetCommandLine(Tool("--print-pid --sleep-ms 30000").c_str());
  recorder.attach(runner);
  EXPECT_EQ(runner.Start(), 0);
  ASSERT_TRUE(recorder.waitOutput());
  const pid_t pid = std::stoi(recorder.chunks().front().substr(4));
  ASSERT_TRUE(ProcessExists(pid));
  const auto before = Clock::now();
  EXPECT_EQ(runner.Stop(), 0);
  EXPECT_LT(Clock::now() - before, 3000ms);
  EXPECT_EQ(recorder.events(), (Events{"started", "finished"}));
  EXPECT_EQ(runner.state(), kRunnerEnded);
  EXPECT_TRUE(WIFSIGNALED(runner.waitStatus()) && WTERMSIG(runner.waitStatus()) == SIGTERM);
  EXPECT_FALSE(ProcessExists(pid));
  EXPECT_EQ(runner.Stop(), 0);  // nothing runs any more
}

struct WatchdogCase {
  const char* arguments;
  bool killed;
};

TEST(ProcessRunnerTest, WatchdogKillsAToolWithoutNewChunks) {
  const WatchdogCase cases[] = {
      {"--lines 1 --sleep-ms 20000", true},
      // CR pieces that never fill a chunk do not count as output.
      {"--cr-pieces 100 --piece-bytes 10 --interval-ms 5 --sleep-ms 20000", true},
      // A line every 5 ms keeps the tool alive well past the watchdog's 21 polls.
      {"--lines 100 --interval-ms 5", false},
  };
  for (const WatchdogCase& c : cases) {
    SCOPED_TRACE(c.arguments);
    Recorder recorder;
    ProcessRunner runner(10ms, 20);
    RunToEnd(runner, recorder, Tool(c.arguments));
    const Events expected =
        c.killed ? Events{"started", "error -3", "finished"} : Events{"started", "finished"};
    EXPECT_EQ(recorder.events(), expected);
    EXPECT_EQ(WIFSIGNALED(runner.waitStatus()), c.killed);
  }
}

TEST(ProcessRunnerTest, DefaultsPollEvery100MsAndAllow400SilentPolls) {
  ProcessRunner runner;
  EXPECT_EQ(runner.pollInterval(), 100ms);
  EXPECT_EQ(runner.stallPolls(), 400);
}

TEST(ProcessRunnerTest, StartWritesTheBannerAndASecondStartRunsNothing) {
  Recorder recorder;
  ProcessRunner runner;
  runner.SetCommandLine(Tool("--print-pid --sleep-ms 200").c_str());
  recorder.attach(runner);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(runner.Start(), 0);
  const std::string banner = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(runner.Start(), 0);
  ASSERT_TRUE(recorder.waitEnd());
  EXPECT_EQ(banner, "\n->Start of parent execution.\n");
  EXPECT_EQ(recorder.events(), (Events{"started", "finished"}));
  EXPECT_EQ(recorder.chunks().size(), 1u);  // one pid line: one child
}

TEST(ProcessRunnerTest, NullCommandLineIsRefusedAndTheOldOneStays) {
  ProcessRunner runner;
  EXPECT_EQ(runner.SetCommandLine("\"/bin/tool\" -a"), 0);
  EXPECT_EQ(runner.SetCommandLine(nullptr), -1);
  EXPECT_EQ(runner.commandLine(), "\"/bin/tool\" -a");
  const std::string longLine(5000, 'x');  // no limit of our own
  EXPECT_EQ(runner.SetCommandLine(longLine.c_str()), 0);
  EXPECT_EQ(runner.commandLine(), longLine);
}

TEST(ProcessRunnerTest, GrandchildHoldingThePipeDoesNotHoldTheRun) {
  Recorder recorder;
  ProcessRunner runner;
  const auto before = Clock::now();
  RunToEnd(runner, recorder, Tool("--spawn-grandchild --grandchild-ms 5000 --lines 1"));
  EXPECT_EQ(recorder.events(), (Events{"started", "finished"}));
  EXPECT_LT(recorder.endTime() - before, 2000ms);  // the grandchild sleeps 5000 ms
  EXPECT_EQ(recorder.bytes(), "line\n");
}

// The notification in which the runner stops or closes itself.
enum class SelfStopFrom { kOutput, kFinished };

void RunSelfStop(SelfStopFrom from, int& stopResult, int& closeResult) {
  Recorder recorder;
  ProcessRunner runner;
  auto stopSelf = [&] {
    stopResult = runner.Stop();
    closeResult = runner.Close();
  };
  (from == SelfStopFrom::kOutput ? recorder.onOutput : recorder.onFinished) = stopSelf;
  RunToEnd(runner, recorder, Tool("--lines 1"));
}

TEST(ProcessRunnerDeathTest, StopFromTheRunnersOwnThreadIsRefused) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const SelfStopFrom from : {SelfStopFrom::kOutput, SelfStopFrom::kFinished}) {
    int stopResult = 0;
    int closeResult = 0;
#ifdef NDEBUG
    RunSelfStop(from, stopResult, closeResult);
    EXPECT_EQ(stopResult, -1);
    EXPECT_EQ(closeResult, -1);
#else
    EXPECT_DEATH(RunSelfStop(from, stopResult, closeResult), "own thread");
#endif
  }
}

TEST(ProcessRunnerTest, QuotedPathsWithBlanksReachTheToolWhole) {
  const std::string folder = ::testing::TempDir() + "/runner quoting dir";
  std::filesystem::create_directories(folder);
  const std::string tool = folder + "/test tool.bin";
  std::filesystem::remove(tool);
  std::filesystem::create_symlink(VEXLO_TESTTOOL_PATH, tool);
  Recorder recorder;
  ProcessRunner runner;
  RunToEnd(runner, recorder, "\"" + tool + "\" --echo-args \"in  file.mp4\" \"\" C:\\x");
  EXPECT_EQ(recorder.bytes(), "argc=5\narg[0]=" + tool +
                                  "\narg[1]=--echo-args\narg[2]=in  file.mp4\narg[3]=\n"
                                  "arg[4]=C:\\x\n");
}

}  // namespace
}  // namespace vexlo::process
