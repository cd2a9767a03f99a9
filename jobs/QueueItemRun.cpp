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
  unsigned threads = 0;
  std::size_t number = 0;
  ItemCallbacks callbacks;
  BatchItemRunner::Log log;
  std::shared_ptr<std::atomic<bool>> finished;
};

void Work(ItemWork& work) {
  BatchOutput output;
  if (work.log) {
    output.log = [&work](std::string_view line) { work.log(work.item.id, line); };
  }
  output.progress = [&work](double percent, double durationSeconds) {
    work.callbacks.progress(percent, durationSeconds);
  };
  if (work.number > 0) output = NumberedOutput(output, work.number);
  if (output.log) output.log(QueueStartLine(work.item));
  const BatchRun run{work.request, output, *work.stop, work.sources, work.threads};
  const bool target = work.request.settings.targetSsim > 0;  // measured by its own run
  const ItemResult result =
      target ? RunTargetItem(work.names, run) : RunBatchItem(work.names, run);
  ItemEnd end{result.state, result.reason, std::nullopt};
  if (target && result.quality) end.quality = result.quality->figures;
  if (end.state == ItemState::kDone && !target)
    end.quality = MeasureItem(work.names, work.request, *work.stop).figures;
  if (output.log) output.log(QueueEndLine(work.item, end, result.seconds));
  work.callbacks.ended(end);
  work.finished->store(true);
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

void BatchItemRunner::Start(const QueueItem& item, const ItemStart& start,
                            ItemCallbacks callbacks) {
  JoinFinished();
  auto work = std::make_unique<ItemWork>();
  work->item = item;
  work->request.settings = item.settings;
  work->request.report = true;
  work->request.programDir = programDir_;
  work->request.existing = start.existing;
  work->request.lowPriority = start.lowPriority;
  work->threads = start.threads;
  work->number = start.number;
  work->names = {item.source,
                 item.output,
                 item.source,
                 item.output,
                 item.temporary.empty() ? TemporaryPath(item) : item.temporary,
                 IncompleteName(item.output)};
  for (const QueueItem& queued : model_.items()) {
    work->sources.push_back({queued.source, {}, queued.source, {}, {}, {}});
  }
  Worker& worker = workers_[item.id];
  if (worker.thread.joinable()) worker.thread.join();  // the item's last run, ended
  worker.stop = std::make_unique<BatchStop>();
  worker.finished = std::make_shared<std::atomic<bool>>(false);
  work->stop = worker.stop.get();
  work->finished = worker.finished;
  work->callbacks = std::move(callbacks);
  work->log = log_;
  worker.thread = std::thread([work = std::move(work)] { Work(*work); });
}

void BatchItemRunner::Cancel(std::uint64_t id) {
  const auto found = workers_.find(id);
  if (found != workers_.end() && found->second.stop) found->second.stop->Request();
}

void BatchItemRunner::JoinFinished() {
  for (auto at = workers_.begin(); at != workers_.end();) {
    Worker& worker = at->second;
    if (!worker.finished->load()) {
      ++at;
      continue;
    }
    // It has called its end already; only its return is left.
    if (worker.thread.joinable()) worker.thread.join();
    at = workers_.erase(at);
  }
}

void BatchItemRunner::Stop() {
  for (auto& [id, worker] : workers_) worker.stop->Request();
  for (auto& [id, worker] : workers_) {
    if (worker.thread.joinable()) worker.thread.join();
  }
  workers_.clear();
}

}  // namespace vexlo::jobs
