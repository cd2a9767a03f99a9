#include "jobs/QueueRunner.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <utility>
#include <vector>

#include "jobs/BatchSchedule.h"
#include "platform/SystemResources.h"

namespace vexlo::jobs {

namespace {

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The queue's items are encodes (no WAV), each estimated as the batch estimates its items.
constexpr bool kAudio = false;

}  // namespace

QueueMachine ThisMachine() {
  return {platform::ProcessorCount(), platform::AvailableMemoryBytes, std::nullopt};
}

QueueRunner::QueueRunner(QueueModel& model, ItemRunner& runner, Post post, AfterSave afterSave,
                         Clock clock, QueueMachine machine)
    : model_(model),
      runner_(runner),
      post_(std::move(post)),
      afterSave_(std::move(afterSave)),
      clock_(clock ? std::move(clock) : Clock(SteadySeconds)),
      machine_(std::move(machine)),
      self_(std::make_shared<QueueRunner*>(this)) {}

QueueRunner::~QueueRunner() {
  self_.reset();
}

template <typename Task>
auto QueueRunner::Guarded(std::uint64_t id, Task task) {
  return [weak = std::weak_ptr<QueueRunner*>(self_), post = post_, id,
          generation = running_.at(id).generation, task](auto... arguments) {
    post([weak, id, generation, task, arguments...] {
      const auto alive = weak.lock();
      if (!alive) return;
      const auto found = (*alive)->running_.find(id);
      if (found != (*alive)->running_.end() && found->second.generation == generation) {
        task(**alive, id, arguments...);
      }
    });
  };
}

unsigned QueueRunner::Width() const {
  return BatchSlots(model_.options().atOnce, machine_.processors, 0).width();
}

bool QueueRunner::Start() {
  if (!model_.Start()) return false;
  StartWaiting();
  return true;
}

void QueueRunner::StartNoNewItem() {
  model_.StartNoNewItem();
  if (running_.empty()) model_.EndRun();
}

void QueueRunner::StartWaiting() {
  if (!model_.running()) return;
  while (const QueueItem* item = NextToStart()) Begin(*item);
  if (running_.empty()) model_.EndRun();
}

// The first waiting item the slots take now: an item of a hardware encoder whose card has no
// session free is passed over, and one whose memory does not fit makes every later one wait too,
// so the run keeps its order.
const QueueItem* QueueRunner::NextToStart() const {
  if (model_.startingNoNewItem()) return nullptr;
  BatchSlots slots(model_.options().atOnce, machine_.processors, 0);
  for (const auto& [id, run] : running_) slots.Started(run.estimate);
  for (const QueueItem& item : model_.items()) {
    if (item.state != ItemState::kWaiting) continue;
    const unsigned sessions = HardwareSessions(item.settings, kAudio, machine_.gpuSessions);
    const auto sameCard = std::count_if(running_.begin(), running_.end(), [&](const auto& run) {
      return run.second.gpu == item.settings.gpuType;
    });
    if (sessions > 0 && static_cast<unsigned>(sameCard) >= sessions) continue;
    const std::uint64_t estimate = EstimatedItemMemory({}, item.settings, kAudio);
    const bool fits = slots.MayStart(estimate, slots.running() > 0 && machine_.availableMemory
                                                   ? machine_.availableMemory()
                                                   : std::nullopt);
    return fits ? &item : nullptr;
  }
  return nullptr;
}

void QueueRunner::Begin(const QueueItem& waiting) {
  const std::uint64_t id = waiting.id;
  const unsigned width = Width();
  std::size_t row = 0, left = 0;
  for (const QueueItem& item : model_.items()) {
    if (item.id == id) row = static_cast<std::size_t>(&item - model_.items().data());
    left += item.state == ItemState::kWaiting ? 1 : 0;
  }
  Running run;
  run.generation = ++generations_;
  run.estimate = EstimatedItemMemory({}, waiting.settings, kAudio);
  run.gpu = waiting.settings.gpuType;
  // One item alone keeps its whole command line; side by side, each takes its share, as the
  // batch gives it: the running ones and the waiting ones (this one included) up to the width.
  run.start = {
      model_.options().existing,
      ItemThreads(machine_.processors, std::min<std::size_t>(width, running_.size() + left)),
      model_.options().lowPriority, width > 1 ? row + 1 : 0};
  running_[id] = run;
  if (model_.Begin(id, runner_.TemporaryPath(waiting)) == nullptr) {
    running_.erase(id);
    return;
  }
  if (!afterSave_) return Launch(id);
  afterSave_(Guarded(id, [](QueueRunner& runner, std::uint64_t item) { runner.Launch(item); }));
}

void QueueRunner::Launch(std::uint64_t id) {
  const QueueItem* item = model_.Find(id);
  const auto found = running_.find(id);
  if (item == nullptr || found == running_.end()) return;
  found->second.launched = true;
  found->second.startedAt = clock_();
  // A tool that floods its progress costs the window one task at a time, not one per line: the
  // newest figures wait here until the task posted for them runs.
  struct Latest {
    std::mutex mutex;
    double percent = 0;
    std::optional<double> duration;
    bool posted = false;
  };
  auto latest = std::make_shared<Latest>();
  auto show = Guarded(id, [latest](QueueRunner& runner, std::uint64_t item) {
    std::unique_lock lock(latest->mutex);
    const double percent = latest->percent;
    const std::optional<double> duration = latest->duration;
    latest->posted = false;
    lock.unlock();
    runner.model_.ItemProgress(item, percent, runner.Elapsed(item), duration);
    // In Auto an item that waits for memory looks again as the others go on.
    if (runner.model_.options().atOnce == 0) runner.StartWaiting();
  });
  ItemCallbacks callbacks;
  callbacks.progress = [latest, show](double percent, std::optional<double> duration) {
    {
      const std::lock_guard lock(latest->mutex);
      latest->percent = percent;
      latest->duration = duration;
      if (latest->posted) return;
      latest->posted = true;
    }
    show();
  };
  callbacks.ended = Guarded(
      id, [](QueueRunner& runner, std::uint64_t item, ItemEnd end) { runner.Ended(item, end); });
  runner_.Start(*item, found->second.start, std::move(callbacks));
}

void QueueRunner::Ended(std::uint64_t id, const ItemEnd& end) {
  const double elapsed = Elapsed(id);
  running_.erase(id);  // nothing more of this item is taken
  model_.ItemEnded(id, end, elapsed);
  StartWaiting();
}

void QueueRunner::Cancel(std::uint64_t id) {
  const auto found = running_.find(id);
  if (found == running_.end()) return;
  if (found->second.launched) return runner_.Cancel(id);
  // Still waiting for its save: it never started, so it ends here.
  running_.erase(found);
  model_.ItemEnded(id, {ItemState::kCancelled, {}, {}}, 0);
  StartWaiting();
}

void QueueRunner::CancelAll() {
  std::vector<std::uint64_t> ids;
  for (const auto& [id, run] : running_) ids.push_back(id);
  for (std::uint64_t id : ids) Cancel(id);
}

double QueueRunner::Elapsed(std::uint64_t id) const {
  const auto found = running_.find(id);
  return found == running_.end() || !found->second.launched ? 0
                                                            : clock_() - found->second.startedAt;
}

}  // namespace vexlo::jobs
