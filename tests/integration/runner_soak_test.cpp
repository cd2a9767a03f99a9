#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "process/ProcessRunner.h"

namespace vexlo::process {
namespace {

using namespace std::chrono_literals;

int CountEntries(const char* folder) {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++count;
  return count;
}

// Processes whose parent is this one (zombies included).
int CountOwnChildren() {
  int children = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string text;
    if (!std::getline(stat, text)) continue;
    const auto nameEnd = text.rfind(')');
    if (nameEnd == std::string::npos) continue;
    char state = 0;
    int parent = 0;
    if (std::sscanf(text.c_str() + nameEnd + 1, " %c %d", &state, &parent) == 2 &&
        parent == ::getpid()) {
      ++children;
    }
  }
  return children;
}

// What one run's notifications did; checked after the runner has been closed.
struct Tally {
  std::atomic<int> started{0};
  std::atomic<int> startFailed{0};
  std::atomic<int> finished{0};
  std::atomic<int> outputsAfterFinished{0};
};

int OnOutput(const char*, int, void* context) {
  auto* tally = static_cast<Tally*>(context);
  if (tally->finished.load() != 0) ++tally->outputsAfterFinished;
  return 0;
}
int OnStarted(int, void* context) {
  return ++static_cast<Tally*>(context)->started;
}
int OnError(int code, void* context) {
  if (code == kErrorStartFailed) ++static_cast<Tally*>(context)->startFailed;
  return 0;
}
int OnFinished(int, void* context) {
  return ++static_cast<Tally*>(context)->finished;
}

const char* const kBehaviours[] = {
    "",                                                 // quick clean exit
    "--exit 1",                                         // quick failure
    "--flood 3000",                                     // CR progress flood
    "--flood 2000 --flood-lf",                          // line flood
    "--lines 1 --sleep-ms 2000",                        // silent for a while
    "--spawn-grandchild --grandchild-ms 50 --lines 1",  // pipe held after the exit
    nullptr,                                            // a tool that does not exist
};

enum class Ending { kStop, kClose, kDestroy, kWaitThenClose };

struct SoakRun {
  Tally tally;  // declared first: outlives the runner's threads
  std::unique_ptr<ProcessRunner> runner = std::make_unique<ProcessRunner>();
  Ending ending = Ending::kStop;
};

void StartRun(SoakRun& run, std::mt19937& random) {
  const int behaviour = int(random() % std::size(kBehaviours));
  const std::string commandLine =
      kBehaviours[behaviour] == nullptr
          ? std::string("\"/nonexistent/ffmpeg.bin\"")
          : "\"" VEXLO_TESTTOOL_PATH "\" " + std::string(kBehaviours[behaviour]);
  ProcessRunner& runner = *run.runner;
  runner.SetCommandLine(commandLine.c_str());
  runner.output = &OnOutput;
  runner.started = &OnStarted;
  runner.error = &OnError;
  runner.finished = &OnFinished;
  runner.outputContext = runner.startedContext = runner.endContext = &run.tally;
  run.ending = Ending(random() % 4);
  if (behaviour == 4 && run.ending == Ending::kWaitThenClose) run.ending = Ending::kStop;
  EXPECT_EQ(runner.Start(), 0);
}

void EndRun(SoakRun& run) {
  switch (run.ending) {
    case Ending::kStop:
      EXPECT_EQ(run.runner->Stop(), 0);
      EXPECT_EQ(run.runner->Close(), 0);
      break;
    case Ending::kClose:
      EXPECT_EQ(run.runner->Close(), 0);
      break;
    case Ending::kDestroy:
      break;
    case Ending::kWaitThenClose:
      for (int i = 0; i < 500 && run.tally.finished == 0 && run.tally.startFailed == 0; ++i) {
        std::this_thread::sleep_for(2ms);
      }
      EXPECT_EQ(run.runner->Close(), 0);
      break;
  }
  run.runner.reset();
  const Tally& t = run.tally;
  const bool ranToItsEnd = t.started == 1 && t.finished == 1 && t.startFailed == 0;
  const bool failedToStart = t.started == 0 && t.finished == 0 && t.startFailed == 1;
  EXPECT_TRUE(ranToItsEnd || failedToStart)
      << t.started << " started, " << t.finished << " finished, " << t.startFailed << " -2";
  EXPECT_EQ(t.outputsAfterFinished, 0);
}

TEST(RunnerSoakTest, TwoThousandRunsLeaveNoDescriptorThreadOrChildBehind) {
  {
    // A first run lets the run-time start what it starts once (ThreadSanitizer's own thread).
    SoakRun warmUp;
    warmUp.runner->SetCommandLine("\"" VEXLO_TESTTOOL_PATH "\"");
    EXPECT_EQ(warmUp.runner->Start(), 0);
  }
  const int descriptorsBefore = CountEntries("/proc/self/fd");
  const int threadsBefore = CountEntries("/proc/self/task");
  std::mt19937 random(20240611);
  for (int round = 0; round < 1000 && !HasFailure(); ++round) {
    SoakRun runs[2];
    for (SoakRun& run : runs) StartRun(run, random);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 6000));
    const int first = int(random() % 2);
    EndRun(runs[first]);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 2000));
    EndRun(runs[1 - first]);
  }
  EXPECT_EQ(CountEntries("/proc/self/fd"), descriptorsBefore);
  EXPECT_EQ(CountEntries("/proc/self/task"), threadsBefore);
  EXPECT_EQ(CountOwnChildren(), 0);
}

}  // namespace
}  // namespace vexlo::process
