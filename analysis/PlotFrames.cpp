#include "analysis/PlotFrames.h"

#include <condition_variable>
#include <mutex>

#include "analysis/IndexNaming.h"
#include "process/OutputLines.h"
#include "process/ToolCommand.h"

namespace vexlo::analysis {

namespace {

// What frames each reason line for the log; the one line of a failure goes without it.
constexpr std::string_view kReasonPrefix = "##### REASON: ";
constexpr std::string_view kReasonSuffix = " ######\r\n";

// The run's records. The output notification runs on the runner's reader thread, the others on
// its supervisor thread; the caller waits for the end under the lock.
struct PlotRun {
  FrameParseState state;
  FrameParseHooks hooks;
  PlotFrameCollector collector;
  process::KeptOutLines keptOut;
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  std::string failure;

  void End(std::string why) {
    std::lock_guard lock(mutex);
    if (failure.empty()) failure = std::move(why);
    done = true;
    ended.notify_all();
  }

  static int OnOutput(const char* data, int length, void* context) {
    auto& run = *static_cast<PlotRun*>(context);
    process::SplitChunkLines(data, length, [&run](std::string_view line) {
      run.keptOut.Keep(line);
      ParseFrameLine(run.state, line, run.hooks);
    });
    return 0;
  }
  // A tool that failed (-3) is followed by the finished notification; a start failure (-2) is
  // the run's last word.
  static int OnFailure(int code, const process::FailureReason& reason, void* context) {
    auto& run = *static_cast<PlotRun*>(context);
    process::FailureReason told = reason;
    told.lastLines = run.keptOut.Pick();
    std::string why;
    for (const std::string& line : process::ReasonLines(told)) {
      std::string_view text(line);
      if (text.starts_with(kReasonPrefix)) text.remove_prefix(kReasonPrefix.size());
      if (text.ends_with(kReasonSuffix)) text.remove_suffix(kReasonSuffix.size());
      why += (why.empty() ? "" : "; ") + std::string(text);
    }
    if (why.empty()) why = "the prober failed";
    if (code == process::kErrorStartFailed) {
      run.End(why);
    } else {
      std::lock_guard lock(run.mutex);
      run.failure = why;
    }
    return 0;
  }
  static int OnError(int code, void* context) {
    return OnFailure(code, process::FailureReason{}, context);
  }
  static int OnFinished(int, void* context) {
    static_cast<PlotRun*>(context)->End({});
    return 0;
  }
};

}  // namespace

FramesRead ReadFramesForPlot(const std::string& programDir, const std::string& source) {
  PlotRun run;
  run.state.Reset();
  run.hooks.writeRecord = [&run](const FrameRecord& record) {
    run.collector.Add(record, run.state.info);
  };
  const process::JobNotifications notifications{PlotRun::OnOutput, nullptr, PlotRun::OnError,
                                                PlotRun::OnFinished, PlotRun::OnFailure};
  auto runner =
      process::StartJob(FrameIndexCommandLine(programDir, source), notifications, &run, programDir);
  {
    std::unique_lock lock(run.mutex);
    run.ended.wait(lock, [&run] { return run.done; });
  }
  runner->Close();
  return {run.collector.Take(), run.failure};
}

}  // namespace vexlo::analysis
