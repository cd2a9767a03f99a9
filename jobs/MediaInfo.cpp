#include "jobs/MediaInfo.h"

#include "platform/Paths.h"
#include "process/LogTexts.h"
#include "process/OutputLines.h"
#include "process/CommandLineBuilder.h"

namespace vexlo::jobs {

std::string MediaInfoCommandLine(std::string_view programDir, std::string_view path) {
  return process::CommandLineBuilder(programDir).Add(" -i ").AddQuoted(path).Text();
}

std::string MediaInfoRefusal(std::string_view path) {
  return platform::PathIsSafeForCommandLine(path) ? std::string()
                                                  : process::text::UnusablePath(path);
}

process::ToolWatch MediaInfoJob::Watch() {
  process::ToolWatch watch;
  watch.started = [this] {
    window_.flushLog();
    window_.logAppend("\r\n");
    window_.logAppend(kMediaInfoStart);
    const std::string line = process::text::CommandLineLine(window_.jobFigures().commandLine);
    if (!line.empty()) window_.logAppend(line);
  };
  watch.output = [this](std::string_view chunk, process::KeptOutLines& keptOut) {
    filterChunk(chunk, keptOut);
  };
  watch.ended = [this](const process::ToolEnd& tool) { ended(tool); };
  return watch;
}

void MediaInfoJob::ended(const process::ToolEnd& tool) {
  using process::JobOutcome;
  if (tool.outcome == JobOutcome::kFailed && !sawInput_) {
    for (const std::string& line : process::ReasonLines(tool.reason)) window_.logAppend(line);
  }
  // A tool that could not start ends the job here, without the end marker.
  if (!tool.started) return window_.postJobEnd(endOf(JobOutcome::kFailed, tool));
  window_.logAppend(kMediaInfoEnd);
  const JobOutcome outcome = tool.outcome == JobOutcome::kCancelled ? JobOutcome::kCancelled
                             : sawInput_                             ? JobOutcome::kFinished
                                                                     : JobOutcome::kFailed;
  window_.postJobEnd(endOf(outcome, tool));
}

jobs::JobEnd MediaInfoJob::endOf(process::JobOutcome outcome, const process::ToolEnd& tool) const {
  jobs::JobEnd end;
  end.kind = jobs::JobKind::kMediaInfo;
  end.outcome = outcome;
  end.started = tool.started;
  if (outcome == process::JobOutcome::kFailed) end.reason = tool.ReasonText();
  end.sourceMs = window_.jobFigures().durationMs.load();
  return end;
}

void MediaInfoJob::filterChunk(std::string_view chunk, process::KeptOutLines& keptOut) {
  const auto keepOut = [&keptOut](std::string_view kept) {
    process::SplitChunkLines(kept.data(), static_cast<int>(kept.size()),
                             [&keptOut](std::string_view line) { keptOut.Keep(line); });
  };
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

}  // namespace vexlo::jobs
