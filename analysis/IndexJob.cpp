#include "analysis/IndexJob.h"

#include "platform/Paths.h"
#include "process/OutputLines.h"
#include "process/ProcessRunner.h"

namespace vexlo::analysis {

IndexJob::IndexJob(process::JobWindow& window) : window_(window) {
  hooks_.writeRecord = [this](const FrameRecord& record) { file_.WriteRecord(record); };
  hooks_.appendLog = [this](std::string_view text) { window_.logAppend(text); };
  hooks_.requestStop = [this] {
    if (requestGopStop) requestGopStop();
  };
}

int IndexJob::Prepare(const std::string& indexPath, bool gopMode) {
  state_.gopMode = gopMode;
  platform::DeleteFile(indexPath);
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
  job.window_.logAppend(job.gopMode() ? kGetFileGop : kStartIndexing);
  return 0;
}

int IndexJob::OnIndexError(int code, void* context) {
  if (context == nullptr) return 0;
  auto& job = *static_cast<IndexJob*>(context);
  if (code == process::kErrorStartFailed) job.window_.logAppend(kCreationIndexError);
  if (code == process::kErrorToolFailed) job.window_.logAppend(kIndexingError);
  // A tool failure or the watchdog is reported while the reader may still deliver the tool's
  // last chunks, and the finished notification always follows it once the reader has ended:
  // that one finishes the file, so no record is lost and no line races with the Finish.
  if (code != process::kErrorToolFailed) job.file_.Finish(&job.state_.header);
  job.window_.postEnableJobControls(true);
  return 0;
}

int IndexJob::OnIndexFinished(int, void* context) {
  if (context == nullptr) return 0;
  auto& job = *static_cast<IndexJob*>(context);
  job.file_.Finish(&job.state_.header);
  job.window_.logAppend(job.gopMode() ? kEndFileGop : kEndIndexing);
  job.window_.postEnableJobControls(true);
  job.figures_.progressPos = 100;
  job.window_.sendIndexProgress(100);
  return 0;
}

void IndexJob::parseChunk(const char* data, int length) {
  process::SplitChunkLines(data, length,
                           [this](std::string_view line) { ParseFrameLine(state_, line, hooks_); });
}

}  // namespace vexlo::analysis
