#include "jobs/ConversionJob.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/OutputLength.h"
#include "platform/CommandLineSplit.h"
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

JobWindow* WindowOf(void* context) {
  return static_cast<JobWindow*>(context);
}

void ResetFigures(JobFigures& figures) {
  figures.durationMs.store(0);
  figures.timeMs.store(0);
  figures.progressPos.store(0);
  figures.failed.store(false);
  figures.writeFailed.store(false);
}

// The job's end as its figures tell it; `started` is false for a tool that could not start.
JobEnd EndOf(const JobFigures& figures, bool started) {
  JobEnd end;
  end.kind = figures.kind;
  end.started = started;
  end.outcome = figures.stopped  ? JobOutcome::kCancelled
                : figures.failed ? JobOutcome::kFailed
                                 : JobOutcome::kFinished;
  end.output = figures.file;
  if (end.outcome == JobOutcome::kFailed) end.reason = figures.failureText;
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

int OnConversionOutput(const char* data, int length, void* context) {
  if (data == nullptr) return -1;
  JobWindow* window = WindowOf(context);
  if (window == nullptr) return 0;
  JobFigures& figures = window->jobFigures();
  const std::int64_t now = SteadyNowMs();
  SplitChunkLines(data, length, [&](std::string_view line) {
    ParseOutputLine(figures, line);
    figures.detail.Feed(line, now);
    if (IsReportLine(line)) {
      LogReportLine(*window, line);
    } else {
      figures.keptOut.Keep(line);
      if (NamesAWriteFailure(line)) figures.writeFailed.store(true);
    }
  });
  UpdateProgress(*window);
  if (const auto detail = figures.detail.Due(now)) window->sendDetail(*detail);
  return 0;
}

int OnConversionStarted(int /*code*/, void* context) {
  JobWindow* window = WindowOf(context);
  if (window == nullptr) return 0;
  ResetFigures(window->jobFigures());
  window->jobFigures().detail.Start(ProgressDetail::Kind::kConversion, SteadyNowMs());
  window->sendDetail({});
  window->flushLog();
  window->logAppend(kLineEnd);
  window->logAppend(kStartConversion);
  if (const std::string line = text::CommandLineLine(window->jobFigures().commandLine);
      !line.empty()) {
    window->logAppend(line);
  }
  UpdateProgress(*window);
  window->postJobStarted(window->jobFigures().kind);
  return 0;
}

int OnConversionError(int code, void* context) {
  JobWindow* window = WindowOf(context);
  if (window == nullptr) return 0;
  JobFigures& figures = window->jobFigures();
  figures.failed.store(true);
  if (code == kErrorStartFailed) {
    window->logAppend(kCreationError);
  } else if (code == kErrorToolFailed) {
    window->logAppend(figures.progressPos.load() > kBreakAbove ? kConversionBreak
                                                               : kConversionError);
  }
  UpdateProgress(*window);
  // No finished notification follows a start failure: the job ends here.
  if (code == kErrorStartFailed) window->postJobEnd(EndOf(figures, /*started=*/false));
  return 0;
}

int OnConversionFailure(int code, const FailureReason& reason, void* context) {
  JobWindow* window = WindowOf(context);
  if (window == nullptr) return 0;
  FailureReason told = reason;
  told.lastLines = window->jobFigures().keptOut.Pick();
  for (const std::string& line : ReasonLines(told)) window->logAppend(line);
  window->jobFigures().failureText = EndReasonText(told);
  return OnConversionError(code, context);
}

int OnFrameGrabFailure(int code, const FailureReason& reason, void* context) {
  JobWindow* window = WindowOf(context);
  if (window == nullptr || code != kErrorStartFailed) return 0;
  JobFigures& figures = window->jobFigures();
  figures.failed.store(true);
  figures.failureText = EndReasonText(reason);
  window->postJobEnd(EndOf(figures, /*started=*/false));
  return 0;
}

int OnConversionFinished(int /*code*/, void* context) {
  JobWindow* window = WindowOf(context);
  if (window == nullptr) return 0;
  JobFigures& figures = window->jobFigures();
  // FFmpeg also ends with exit code 0 when it could not write its output whole (a full disk
  // when the trailer is written): the job failed, and the tool's lines say why.
  if (!figures.failed.load() && !figures.stopped.load() && figures.writeFailed.load()) {
    FailureReason told;
    const std::vector<std::string> words = platform::SplitCommandLine(figures.commandLine);
    if (!words.empty()) told.program = words.front();
    OnConversionFailure(kErrorToolFailed, told, context);
  }
  JobEnd end = EndOf(figures, /*started=*/true);
  // FFmpeg ends with exit code 0 when its input ends early (a file cut short, a damaged index):
  // the output then ends short of the source's stream of its kind.
  if (end.outcome == JobOutcome::kFinished && !figures.lengthSource.empty()) {
    if (const auto shortOf = analysis::ShortOfSource(
            end.sourceMs, end.reachedMs, figures.programDir, figures.lengthSource,
            end.kind == JobKind::kAudio ? "audio" : "video")) {
      window->logAppend(analysis::ShortOutputWarning(*shortOf, end.reachedMs));
      end.outputShort = true;
      end.reason = analysis::ShortOutputText(*shortOf, end.reachedMs);
    }
  }
  window->logAppend(kEndConversion);
  UpdateProgress(*window);
  const std::int64_t now = SteadyNowMs();
  figures.detail.Finish(now);
  window->sendDetail(figures.detail.Text(now));
  end.finalProgress = 100;
  window->postJobEnd(std::move(end));
  return 0;
}

}  // namespace vexlo::jobs
