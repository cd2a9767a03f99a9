#include "jobs/IndexJob.h"

#include "platform/Paths.h"
#include "platform/SystemError.h"
#include "process/LogTexts.h"
#include "process/OutputLines.h"
#include "process/ProcessRunner.h"

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
  errorLogged_ = false;
  cancelled_ = false;
  stoppedItself_ = false;
  failureText_.clear();
  keptOut_.Clear();
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

int IndexJob::OnIndexOutput(const char* data, int length, void* context) {
  if (data == nullptr) return -1;
  if (context != nullptr) static_cast<IndexJob*>(context)->parseChunk(data, length);
  return 0;
}

int IndexJob::OnIndexStarted(int, void* context) {
  if (context == nullptr) return 0;
  auto& job = *static_cast<IndexJob*>(context);
  job.figures_.durationMs = 0;
  job.figures_.timeMs = 0;
  job.figures_.progressPos = 0;
  job.figures_.detail.Start(process::ProgressDetail::Kind::kFrames, process::SteadyNowMs());
  job.window_.sendIndexDetail({});
  job.window_.logAppend(job.gopMode() ? kGetFileGop : kStartIndexing);
  const std::string line = process::text::CommandLineLine(job.figures_.commandLine);
  if (!line.empty()) job.window_.logAppend(line);
  return 0;
}

int IndexJob::OnIndexError(int code, void* context) {
  if (context == nullptr) return 0;
  auto& job = *static_cast<IndexJob*>(context);
  // The finished notification that follows a tool failure or the watchdog finishes the file; a
  // start failure has none, so the file is finished (and its failure told) here, and the job
  // ends here.
  if (code == process::kErrorStartFailed) {
    const bool fileFailed = job.reportFileError(job.file_.Finish(&job.state_.header));
    job.window_.logAppend(kCreationIndexError);
    jobs::JobEnd end = job.endOf(process::JobOutcome::kFailed);
    end.started = false;
    if (fileFailed) end.reason = IndexFileErrorText(job.indexPath_, job.file_.error());
    job.window_.postJobEnd(std::move(end));
  }
  if (code == process::kErrorToolFailed) job.window_.logAppend(kIndexingError);
  job.errorLogged_ = true;
  return 0;
}

int IndexJob::OnIndexFailure(int code, const process::FailureReason& reason, void* context) {
  if (context != nullptr) {
    auto& job = *static_cast<IndexJob*>(context);
    process::FailureReason told = reason;
    told.lastLines = job.keptOut_.Pick();
    for (const std::string& line : process::ReasonLines(told)) job.window_.logAppend(line);
    job.failureText_ = process::EndReasonText(told);
  }
  return OnIndexError(code, context);
}

int IndexJob::OnIndexFinished(int, void* context) {
  if (context == nullptr) return 0;
  auto& job = *static_cast<IndexJob*>(context);
  job.publishPlot();
  const bool fileFailed = job.reportFileError(job.file_.Finish(&job.state_.header));
  if (fileFailed && !job.errorLogged_) job.window_.logAppend(kIndexingError);
  job.window_.logAppend(job.gopMode() ? kEndFileGop : kEndIndexing);
  const std::int64_t now = process::SteadyNowMs();
  job.figures_.detail.SetFrames(job.framesDone_);
  job.figures_.detail.Finish(now);
  job.window_.sendIndexDetail(job.figures_.detail.Text(now));
  jobs::JobEnd end = job.endOf(fileFailed || job.errorLogged_ ? process::JobOutcome::kFailed
                                  : job.cancelled_               ? process::JobOutcome::kCancelled
                                                                 : process::JobOutcome::kFinished);
  if (fileFailed) end.reason = IndexFileErrorText(job.indexPath_, job.file_.error());
  // A file that could not be written leaves the bar where it is: the job failed.
  if (!fileFailed) {
    job.figures_.progressPos = 100;
    end.finalProgress = 100;
  }
  job.window_.postJobEnd(std::move(end));
  return 0;
}

jobs::JobEnd IndexJob::endOf(process::JobOutcome outcome) const {
  jobs::JobEnd end;
  end.kind = gopMode() ? jobs::JobKind::kGop : jobs::JobKind::kIndex;
  end.outcome = outcome;
  end.output = indexPath_;
  if (outcome == process::JobOutcome::kFailed) end.reason = failureText_;
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

void IndexJob::parseChunk(const char* data, int length) {
  process::SplitChunkLines(data, length, [this](std::string_view line) {
    keptOut_.Keep(line);  // the report is never shown: every line may be a failure's reason
    analysis::ParseFrameLine(state_, line, hooks_);
  });
  figures_.detail.SetFrames(framesDone_);
  if (const auto detail = figures_.detail.Due(process::SteadyNowMs())) {
    window_.sendIndexDetail(*detail);
  }
}

}  // namespace vexlo::jobs
