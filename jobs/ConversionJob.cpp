#include "jobs/ConversionJob.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "analysis/OutputLength.h"
#include "process/LogTexts.h"
#include "process/OutputLines.h"
#include "process/ProcessRunner.h"

namespace vexlo::jobs {

using namespace process;

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kStartConversion = "##### START CONVERSION ######\r\n";
constexpr std::string_view kEndConversion = "##### END CONVERSION ######\r\n";
constexpr std::string_view kCreationError = "##### CREATION  ERROR ######\r\n";
constexpr std::string_view kConversionBreak = "##### CONVERSION  BREAK ######\r\n";
constexpr std::string_view kConversionError = "##### CONVERSION  ERROR ######\r\n";
// A failure after the bar passed this position is reported as a break, not an error.
constexpr int kBreakAbove = 90;
constexpr double kRoundUp = 0.49999;
constexpr double kFullAbove = 99.0;

void ResetFigures(JobFigures& figures) {
  figures.durationMs.store(0);
  figures.timeMs.store(0);
  figures.progressPos.store(0);
}

// The job's typed end as its tool's end and its figures tell it.
JobEnd EndOf(const JobFigures& figures, const ToolEnd& tool) {
  JobEnd end;
  end.kind = figures.kind;
  end.started = tool.started;
  end.outcome = tool.outcome;
  end.output = figures.file;
  if (end.outcome == JobOutcome::kFailed) end.reason = tool.ReasonText();
  end.sourceMs = figures.durationMs.load();
  end.reachedMs = figures.timeMs.load();
  return end;
}

// Raises progressPos to `position` unless it is already there or further.
void AdvanceProgress(std::atomic<std::int32_t>& progressPos, std::int32_t position) {
  std::int32_t current = progressPos.load();
  while (current < position && !progressPos.compare_exchange_weak(current, position)) {
  }
}

// Logs one report line with its line end; the buffer is the calling thread's, so a flood of
// lines costs no allocation here.
void LogReportLine(JobWindow& window, std::string_view line) {
  thread_local std::string buffer;
  buffer.assign(line);
  buffer += kLineEnd;
  window.logAppend(buffer);
}

}  // namespace

void UpdateProgress(JobWindow& window) {
  JobFigures& figures = window.jobFigures();
  const std::int64_t duration = figures.durationMs.load();
  if (duration <= 0) {
    window.sendProgress(0);
    return;
  }
  double p =
      static_cast<double>(figures.timeMs.load()) / static_cast<double>(duration) * 100.0 + kRoundUp;
  if (p > kFullAbove) {
    p = 100.0;
  } else if (p < 0.0) {
    p = 0.0;
  }
  AdvanceProgress(figures.progressPos, static_cast<std::int32_t>(p));
  window.sendProgress(figures.progressPos.load());
}

namespace {

void OnOutput(JobWindow& window, std::string_view chunk, KeptOutLines& keptOut) {
  JobFigures& figures = window.jobFigures();
  const std::int64_t now = SteadyNowMs();
  SplitChunkLines(chunk.data(), static_cast<int>(chunk.size()), [&](std::string_view line) {
    ParseOutputLine(figures, line);
    figures.input.Read(line);
    figures.detail.Feed(line, now);
    if (IsReportLine(line)) {
      LogReportLine(window, line);
    } else {
      keptOut.Keep(line);
    }
  });
  UpdateProgress(window);
  if (const auto detail = figures.detail.Due(now)) window.sendDetail(*detail);
}

void OnStarted(JobWindow& window) {
  ResetFigures(window.jobFigures());
  window.jobFigures().input = {};
  window.jobFigures().detail.Start(ProgressDetail::Kind::kConversion, SteadyNowMs());
  window.sendDetail({});
  window.flushLog();
  window.logAppend(kLineEnd);
  window.logAppend(kStartConversion);
  if (const std::string line = text::CommandLineLine(window.jobFigures().commandLine);
      !line.empty()) {
    window.logAppend(line);
  }
  UpdateProgress(window);
  window.postJobStarted(window.jobFigures().kind);
}

// The failure's reason lines and its error line.
void LogFailure(JobWindow& window, const ToolEnd& tool) {
  for (const std::string& line : ReasonLines(tool.reason)) window.logAppend(line);
  if (!tool.started) {
    window.logAppend(kCreationError);
  } else {
    window.logAppend(window.jobFigures().progressPos.load() > kBreakAbove ? kConversionBreak
                                                                          : kConversionError);
  }
  UpdateProgress(window);
}

void OnEnded(JobWindow& window, bool frameGrab, const ToolEnd& tool) {
  JobFigures& figures = window.jobFigures();
  if (tool.outcome == JobOutcome::kFailed && !frameGrab) LogFailure(window, tool);
  JobEnd end = EndOf(figures, tool);
  // A tool that could not start ends the job here, without the end line.
  if (!tool.started) return window.postJobEnd(std::move(end));
  // FFmpeg ends with exit code 0 when its input ends early (a file cut short, a damaged index):
  // the output then ends short of the source's stream of its kind.
  if (end.outcome == JobOutcome::kFinished && !figures.lengthSource.empty()) {
    if (const auto shortOf = analysis::ShortOfSource(
            end.sourceMs, end.reachedMs, figures.programDir, figures.lengthSource,
            end.kind == JobKind::kAudio ? "audio" : "video")) {
      window.logAppend(analysis::ShortOutputWarning(*shortOf, end.reachedMs));
      end.outputShort = true;
      end.reason = analysis::ShortOutputText(*shortOf, end.reachedMs);
    }
  }
  if (end.outcome == JobOutcome::kFinished && figures.check) {
    const WindowCheck& check = *figures.check;
    for (const std::string& line :
         ConformanceLines(CheckConformance(check.request, figures.programDir, check.source,
                                           figures.file, {check.raw, figures.input.Video()},
                                           check.stop->watch()))) {
      window.logAppend(line);
    }
  }
  window.logAppend(kEndConversion);
  UpdateProgress(window);
  const std::int64_t now = SteadyNowMs();
  figures.detail.Finish(now);
  window.sendDetail(figures.detail.Text(now));
  end.finalProgress = 100;
  window.postJobEnd(std::move(end));
}

}  // namespace

ToolWatch ConversionWatch(JobWindow& window, bool frameGrab) {
  ToolWatch watch;
  watch.started = [&window] { OnStarted(window); };
  watch.output = [&window](std::string_view chunk, KeptOutLines& keptOut) {
    OnOutput(window, chunk, keptOut);
  };
  watch.ended = [&window, frameGrab](const ToolEnd& tool) { OnEnded(window, frameGrab, tool); };
  return watch;
}

}  // namespace vexlo::jobs
