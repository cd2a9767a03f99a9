#include "jobs/QueueItemRun.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "jobs/BatchItemRun.h"
#include "jobs/TargetItemRun.h"
#include "platform/Processes.h"

namespace vexlo::jobs {

namespace {

// What a worker thread works on: its own copies, nothing of the window's.
struct ItemWork {
  QueueItem item;
  BatchRequest request;
  BatchItem names;
  std::vector<BatchItem> sources;  // every queued item's source
  BatchStop* stop = nullptr;
  ItemCallbacks callbacks;
  BatchItemRunner::Log log;
};

void Work(ItemWork& work) {
  BatchOutput output;
  output.log = work.log;
  output.progress = [&work](double percent, double durationSeconds) {
    work.callbacks.progress(percent, durationSeconds);
  };
  if (work.log) work.log(QueueStartLine(work.item));
  const BatchRun run{work.request, output, *work.stop, work.sources};
  const bool target = work.request.settings.targetSsim > 0;  // measured by its own run
  const ItemResult result =
      target ? RunTargetItem(work.names, run) : RunBatchItem(work.names, run);
  ItemEnd end{result.state, result.reason, std::nullopt};
  if (target && result.quality) end.quality = result.quality->figures;
  if (end.state == ItemState::kDone && !target)
    end.quality = MeasureItem(work.names, work.request, *work.stop).figures;
  if (work.log) work.log(QueueEndLine(work.item, end, result.seconds));
  work.callbacks.ended(end);
}

}  // namespace

std::string QueueStartLine(const QueueItem& item) {
  return "##### QUEUE: " + item.source + " -> " + item.output + " ######\r\n";
}

std::string QueueEndLine(const QueueItem& item, const ItemEnd& end, double seconds) {
  char elapsed[32];
  std::snprintf(elapsed, sizeof elapsed, " (%.1f s)", seconds);
  std::string line = "##### QUEUE " + std::string(StateWord(end.state)) + ": " + item.source +
                     " -> " + item.output;
  if (end.state != ItemState::kSkipped) line += elapsed;
  if (!end.reason.empty()) line += ": " + end.reason;
  if (end.quality) line += (end.reason.empty() ? ": " : "; ") + QualityText(*end.quality);
  return line + " ######\r\n";
}

BatchItemRunner::BatchItemRunner(const QueueModel& model, std::string programDir, Log log)
    : model_(model), programDir_(std::move(programDir)), log_(std::move(log)) {}

BatchItemRunner::~BatchItemRunner() {
  Stop();
}

std::string BatchItemRunner::TemporaryPath(const QueueItem& item) {
  return TemporaryName(item.output, platform::CurrentProcessId());
}

void BatchItemRunner::Start(const QueueItem& item, ExistingOutput existing,
                            ItemCallbacks callbacks) {
  // The last item's thread has called its end already; only its return is left.
  if (worker_.joinable()) worker_.join();
  stop_ = std::make_unique<BatchStop>();
  auto work = std::make_unique<ItemWork>();
  work->item = item;
  work->request.settings = item.settings;
  work->request.report = true;
  work->request.programDir = programDir_;
  work->request.existing = existing;
  work->names = {item.source, item.output, item.source, item.output,
                 item.temporary.empty() ? TemporaryPath(item) : item.temporary,
                 IncompleteName(item.output)};
  for (const QueueItem& queued : model_.items()) {
    work->sources.push_back({queued.source, {}, queued.source, {}, {}, {}});
  }
  work->stop = stop_.get();
  work->callbacks = std::move(callbacks);
  work->log = log_;
  worker_ = std::thread([work = std::move(work)] { Work(*work); });
}

void BatchItemRunner::Cancel() {
  if (stop_) stop_->Request();
}

void BatchItemRunner::Stop() {
  Cancel();
  if (worker_.joinable()) worker_.join();
}

}  // namespace vexlo::jobs
