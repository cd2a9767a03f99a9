#include "jobs/MediaInfo.h"

#include "platform/Paths.h"
#include "process/LogTexts.h"
#include "process/OutputLines.h"
#include "process/CommandLineBuilder.h"
#include "process/ToolCommand.h"

namespace vexlo::jobs {

std::string MediaInfoCommandLine(std::string_view programDir, std::string_view path) {
  return process::CommandLineBuilder(programDir).Add(" -i ").AddQuoted(path).Text();
}

std::string MediaInfoRefusal(std::string_view path) {
  return platform::PathIsSafeForCommandLine(path) ? std::string()
                                                  : process::text::UnusablePath(path);
}

int MediaInfoJob::OnMediaInfoOutput(const char* data, int length, void* context) {
  if (data == nullptr) return -1;
  if (context == nullptr || length <= 0) return 0;
  static_cast<MediaInfoJob*>(context)->filterChunk(
      std::string_view(data, static_cast<std::size_t>(length)));
  return 0;
}

int MediaInfoJob::OnMediaInfoStarted(int, void* context) {
  if (context == nullptr) return 0;
  jobs::JobWindow& window = static_cast<MediaInfoJob*>(context)->window_;
  window.flushLog();
  window.logAppend("\r\n");
  window.logAppend(kMediaInfoStart);
  const std::string line = process::text::CommandLineLine(window.jobFigures().commandLine);
  if (!line.empty()) window.logAppend(line);
  return 0;
}

int MediaInfoJob::OnMediaInfoError(int, void*) {
  return 0;
}

int MediaInfoJob::OnMediaInfoFailure(int code, const process::FailureReason& reason,
                                     void* context) {
  if (context == nullptr) return OnMediaInfoError(code, context);
  auto& job = *static_cast<MediaInfoJob*>(context);
  process::FailureReason told = reason;
  told.lastLines = job.keptOut_.Pick();
  if (!job.sawInput_) {
    for (const std::string& line : process::ReasonLines(told)) job.window_.logAppend(line);
  }
  job.failureText_ = process::EndReasonText(told);
  // No finished notification follows a start failure: the job ends here.
  if (code == process::kErrorStartFailed) {
    job.window_.postJobEnd(job.endOf(process::JobOutcome::kFailed, /*started=*/false));
  }
  return OnMediaInfoError(code, context);
}

int MediaInfoJob::OnMediaInfoFinished(int, void* context) {
  if (context == nullptr) return 0;
  auto& job = *static_cast<MediaInfoJob*>(context);
  job.window_.logAppend(kMediaInfoEnd);
  using process::JobOutcome;
  const JobOutcome outcome = job.window_.jobFigures().stopped ? JobOutcome::kCancelled
                             : job.sawInput_                  ? JobOutcome::kFinished
                                                              : JobOutcome::kFailed;
  job.window_.postJobEnd(job.endOf(outcome, /*started=*/true));
  return 0;
}

jobs::JobEnd MediaInfoJob::endOf(process::JobOutcome outcome, bool started) const {
  jobs::JobEnd end;
  end.kind = jobs::JobKind::kMediaInfo;
  end.outcome = outcome;
  end.started = started;
  if (outcome == process::JobOutcome::kFailed) end.reason = failureText_;
  end.sourceMs = window_.jobFigures().durationMs.load();
  return end;
}

void MediaInfoJob::filterChunk(std::string_view chunk) {
  if (chunk.find("Input #") != std::string_view::npos) {
    inputSection_ = true;
    sawInput_ = true;
  }
  if (chunk.find("At least one") != std::string_view::npos) {
    inputSection_ = false;
    return keepOut(chunk);
  }
  if (!inputSection_) return keepOut(chunk);
  process::SplitChunkLines(chunk.data(), static_cast<int>(chunk.size()),
                           [this](std::string_view line) {
                             ParseOutputLine(window_.jobFigures(), line);
                             std::string shown(line);
                             shown += "\r\n";
                             window_.logAppend(shown);
                           });
}

void MediaInfoJob::keepOut(std::string_view chunk) {
  process::SplitChunkLines(chunk.data(), static_cast<int>(chunk.size()),
                           [this](std::string_view line) { keptOut_.Keep(line); });
}

}  // namespace vexlo::jobs
