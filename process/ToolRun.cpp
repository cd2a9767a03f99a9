#include "process/ToolRun.h"

#include <atomic>
#include <string>
#include <vector>

#include "platform/CommandLineSplit.h"
#include "process/OutputLines.h"
#include "process/ProcessRunner.h"

namespace vexlo::process {

namespace {

// What the notifications share with the waiting thread; it outlives the runner.
struct RunState {
  const ToolLineSink* onLine = nullptr;
  KeptOutLines keptOut;
  FailureReason reason;  // written before `ended` is signalled
  std::atomic<bool> writeFailed{false};  // the tool said its output could not be written whole
  std::atomic<int> errorCode{0};
  platform::Pipe ended;
};

RunState& StateOf(void* context) {
  return *static_cast<RunState*>(context);
}

int OnOutput(const char* data, int length, void* context) {
  RunState& state = StateOf(context);
  SplitChunkLines(data, length, [&](std::string_view line) {
    if ((*state.onLine)(line)) return;
    state.keptOut.Keep(line);
    if (NamesAWriteFailure(line)) state.writeFailed.store(true);
  });
  return 0;
}

int OnFailure(int code, const FailureReason& reason, void* context) {
  RunState& state = StateOf(context);
  state.reason = reason;
  state.reason.lastLines = state.keptOut.Pick();
  state.errorCode.store(code);
  // No finished notification follows a failed start.
  if (code == kErrorStartFailed) platform::SignalWakeUp(state.ended.write);
  return 0;
}

int OnFinished(int, void* context) {
  platform::SignalWakeUp(StateOf(context).ended.write);
  return 0;
}

}  // namespace

ToolEnd RunTool(const std::string& commandLine, const std::string& workingDirectory,
                const ToolLineSink& onLine, const platform::UniqueFd& stop) {
  RunState state;
  state.onLine = &onLine;
  ToolEnd end;
  if (const int failed = platform::MakePipe(state.ended, platform::PipeBlocking::kNeitherBlocks)) {
    end.started = false;
    end.reason.startError = failed;
    return end;
  }
  ProcessRunner runner;
  runner.SetCommandLine(commandLine.c_str());
  runner.SetWorkingDirectory(workingDirectory);
  runner.output = OnOutput;
  runner.failure = OnFailure;
  runner.finished = OnFinished;
  runner.outputContext = runner.endContext = &state;
  bool stopped = false;
  if (runner.Start() == 0) {
    platform::Readable ready = platform::Readable::kNeither;
    while (ready == platform::Readable::kNeither) {
      ready = platform::WaitDataOrWake(state.ended.read, stop);
    }
    // A wait that fails cannot tell when the tool ends: the tool is stopped rather than left.
    stopped = ready != platform::Readable::kData;
  }
  runner.Close();  // stops the tool when it still runs; the notifications are over after it
  const int code = state.errorCode.load();
  end.started = code != kErrorStartFailed;
  if (stopped && end.started) {
    end.outcome = JobOutcome::kCancelled;
  } else if (code != 0) {
    end.reason = state.reason;
  } else if (state.writeFailed.load()) {
    // Exit code 0, yet the tool could not write its output whole (a full disk at the trailer).
    const std::vector<std::string> words = platform::SplitCommandLine(commandLine);
    if (!words.empty()) end.reason.program = words.front();
    end.reason.lastLines = state.keptOut.Pick();
  } else {
    end.outcome = JobOutcome::kFinished;
  }
  return end;
}

ToolEnd RunTool(const std::string& commandLine, const std::string& workingDirectory,
                const ToolLineSink& onLine) {
  platform::Pipe never;  // its write end stays open and silent until the run is over
  if (const int failed = platform::MakePipe(never, platform::PipeBlocking::kNeitherBlocks)) {
    ToolEnd end;
    end.started = false;
    end.reason.startError = failed;
    return end;
  }
  return RunTool(commandLine, workingDirectory, onLine, never.read);
}

}  // namespace vexlo::process
