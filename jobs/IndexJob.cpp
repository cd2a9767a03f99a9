#include "jobs/IndexJob.h"

#include "platform/Paths.h"
#include "platform/SystemError.h"
#include "process/LogTexts.h"
#include "process/OutputLines.h"

namespace vexlo::jobs {

IndexJob::IndexJob(jobs::JobWindow& window) : window_(window) {
  hooks_.writeRecord = [this](const FrameRecord& record) {
    file_.WriteRecord(record);
    plotFrames_.Add(record, state_.info);
    ++framesDone_;
  };
  hooks_.appendLog = [this](std::string_view text) { window_.logAppend(text); };
  hooks_.requestStop = [this] {
    if (requestGopStop) requestGopStop();
  };
}

std::string IndexFileErrorText(std::string_view path, int error) {
  return "Cannot write the index file " + std::string(path) + ": " + platform::ErrorText(error);
}

std::string IndexFileErrorLine(std::string_view path, int error) {
  return "##### ERROR: " + IndexFileErrorText(path, error) + "  ######\r\n";
}

int IndexJob::Prepare(const std::string& indexPath, bool gopMode) {
  state_.gopMode = gopMode;
  indexPath_ = indexPath;
  stoppedItself_ = false;
  framesDone_ = 0;
  plotFrames_.Take();
  {
    std::lock_guard lock(plotMutex_);
    plot_.reset();
  }
  if (platform::DeleteFile(indexPath) != 0) {
    // Nothing to add: an old file left in place is emptied by Open, or Open fails and its
    // errno is the reason told in the index file error line.
  }
  const int opened = file_.Open(indexPath);
  state_.Reset();
  return opened;
}

process::ToolWatch IndexJob::Watch() {
  process::ToolWatch watch;
  watch.started = [this] { started(); };
  watch.output = [this](std::string_view chunk, process::KeptOutLines& keptOut) {
    parseChunk(chunk, keptOut);
  };
  watch.ended = [this](const process::ToolEnd& tool) { ended(tool); };
  return watch;
}

void IndexJob::started() {
  figures_.durationMs = 0;
  figures_.timeMs = 0;
  figures_.progressPos = 0;
  figures_.detail.Start(process::ProgressDetail::Kind::kFrames, process::SteadyNowMs());
  window_.sendIndexDetail({});
  window_.logAppend(gopMode() ? kGetFileGop : kStartIndexing);
  const std::string line = process::text::CommandLineLine(figures_.commandLine);
  if (!line.empty()) window_.logAppend(line);
}

void IndexJob::ended(const process::ToolEnd& tool) {
  using process::JobOutcome;
  const bool toolFailed = tool.outcome == JobOutcome::kFailed;
  if (toolFailed) {
    for (const std::string& line : process::ReasonLines(tool.reason)) window_.logAppend(line);
  }
  if (!tool.started) {
    // The job ends here: its file is finished (and its failure told) before its error line.
    const bool fileFailed = reportFileError(file_.Finish(&state_.header));
    window_.logAppend(kCreationIndexError);
    jobs::JobEnd end = endOf(JobOutcome::kFailed, tool);
    if (fileFailed) end.reason = IndexFileErrorText(indexPath_, file_.error());
    return window_.postJobEnd(std::move(end));
  }
  if (toolFailed) window_.logAppend(kIndexingError);
  publishPlot();
  const bool fileFailed = reportFileError(file_.Finish(&state_.header));
  if (fileFailed && !toolFailed) window_.logAppend(kIndexingError);
  window_.logAppend(gopMode() ? kEndFileGop : kEndIndexing);
  const std::int64_t now = process::SteadyNowMs();
  figures_.detail.SetFrames(framesDone_);
  figures_.detail.Finish(now);
  window_.sendIndexDetail(figures_.detail.Text(now));
  const bool cancelled = tool.outcome == JobOutcome::kCancelled && !stoppedItself_;
  jobs::JobEnd end = endOf(fileFailed || toolFailed ? JobOutcome::kFailed
                           : cancelled               ? JobOutcome::kCancelled
                                                     : JobOutcome::kFinished,
                           tool);
  if (fileFailed) end.reason = IndexFileErrorText(indexPath_, file_.error());
  // A file that could not be written leaves the bar where it is: the job failed.
  if (!fileFailed) {
    figures_.progressPos = 100;
    end.finalProgress = 100;
  }
  window_.postJobEnd(std::move(end));
}

jobs::JobEnd IndexJob::endOf(process::JobOutcome outcome, const process::ToolEnd& tool) const {
  jobs::JobEnd end;
  end.kind = gopMode() ? jobs::JobKind::kGop : jobs::JobKind::kIndex;
  end.outcome = outcome;
  end.started = tool.started;
  end.output = indexPath_;
  if (outcome == process::JobOutcome::kFailed) end.reason = tool.ReasonText();
  end.stoppedItself = stoppedItself_;
  end.frames = framesDone_;
  return end;
}

std::shared_ptr<const FramePlot> IndexJob::framePlot() const {
  std::lock_guard lock(plotMutex_);
  return plot_;
}

void IndexJob::publishPlot() {
  std::vector<PlotFrame> frames = plotFrames_.Take();
  if (frames.empty()) return;
  auto plot = std::make_shared<const FramePlot>(std::move(frames), analysis::FileNameOf(input_));
  std::lock_guard lock(plotMutex_);
  plot_ = std::move(plot);
}

bool IndexJob::reportFileError(int finished) {
  const int error = finished == 0 ? 0 : file_.error();
  if (error != 0) window_.logAppend(IndexFileErrorLine(indexPath_, error));
  return error != 0;
}

void IndexJob::parseChunk(std::string_view chunk, process::KeptOutLines& keptOut) {
  process::SplitChunkLines(chunk.data(), static_cast<int>(chunk.size()), [&](std::string_view line) {
    keptOut.Keep(line);  // the report is never shown: every line may be a failure's reason
    analysis::ParseFrameLine(state_, line, hooks_);
  });
  figures_.detail.SetFrames(framesDone_);
  if (const auto detail = figures_.detail.Due(process::SteadyNowMs())) {
    window_.sendIndexDetail(*detail);
  }
}

}  // namespace vexlo::jobs
