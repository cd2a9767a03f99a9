#include "process/ToolRun.h"

#include <utility>

#include "process/OutputLines.h"
#include "process/ProcessRunner.h"

namespace vexlo::process {

namespace {

ToolEnd NotStarted(int error) {
  ToolEnd end;
  end.started = false;
  end.reason.startError = error;
  return end;
}

// The lines of each chunk to the sink; those it did not show are kept for a failure's reason.
ToolWatch LineWatch(const ToolLineSink& onLine) {
  ToolWatch watch;
  watch.output = [&onLine](std::string_view chunk, KeptOutLines& keptOut) {
    SplitChunkLines(chunk.data(), static_cast<int>(chunk.size()), [&](std::string_view line) {
      if (!onLine(line)) keptOut.Keep(line);
    });
  };
  return watch;
}

}  // namespace

ToolEnd RunWatched(const std::string& commandLine, const std::string& workingDirectory,
                   ToolWatch watch, const platform::UniqueFd& stop,
                   platform::ChildPriority priority) {
  platform::Pipe ended;  // written once the run's end is told
  if (const int failed = platform::MakePipe(ended, platform::PipeBlocking::kNeitherBlocks)) {
    return NotStarted(failed);
  }
  ToolEnd told;
  ProcessRunner runner;
  runner.SetCommandLine(commandLine.c_str());
  runner.SetWorkingDirectory(workingDirectory);
  runner.SetPriority(priority);
  runner.watch = std::move(watch);
  runner.watch.ended = [&told, &ended, owners = std::move(runner.watch.ended)](const ToolEnd& end) {
    if (owners) owners(end);
    told = end;
    platform::SignalWakeUp(ended.write);
  };
  if (runner.Start() == 0) {
    platform::Readable ready = platform::Readable::kNeither;
    while (ready == platform::Readable::kNeither) {
      ready = platform::WaitDataOrWake(ended.read, stop);
    }
    // A wait that fails cannot tell when the tool ends: the tool is stopped rather than left.
  }
  // Stops the tool when it still runs (its end is then told as cancelled); the watch is over
  // after it, so `told` is final.
  runner.Close();
  return told;
}

ToolEnd RunWatched(const std::string& commandLine, const std::string& workingDirectory,
                   ToolWatch watch) {
  platform::Pipe never;  // its write end stays open and silent until the run is over
  if (const int failed = platform::MakePipe(never, platform::PipeBlocking::kNeitherBlocks)) {
    return NotStarted(failed);
  }
  return RunWatched(commandLine, workingDirectory, std::move(watch), never.read);
}

ToolEnd RunTool(const std::string& commandLine, const std::string& workingDirectory,
                const ToolLineSink& onLine, const platform::UniqueFd& stop,
                platform::ChildPriority priority) {
  return RunWatched(commandLine, workingDirectory, LineWatch(onLine), stop, priority);
}

ToolEnd RunTool(const std::string& commandLine, const std::string& workingDirectory,
                const ToolLineSink& onLine) {
  return RunWatched(commandLine, workingDirectory, LineWatch(onLine));
}

}  // namespace vexlo::process
