#include "jobs/QueueRunner.h"

#include <chrono>
#include <utility>

namespace vexlo::jobs {

namespace {

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

QueueRunner::QueueRunner(QueueModel& model, ItemRunner& runner, Post post, AfterSave afterSave,
                         Clock clock)
    : model_(model),
      runner_(runner),
      post_(std::move(post)),
      afterSave_(std::move(afterSave)),
      clock_(clock ? std::move(clock) : Clock(SteadySeconds)),
      self_(std::make_shared<QueueRunner*>(this)) {}

QueueRunner::~QueueRunner() {
  self_.reset();
}

template <typename Task>
auto QueueRunner::Guarded(Task task) {
  return [weak = std::weak_ptr<QueueRunner*>(self_), post = post_, generation = generation_,
          task](auto... arguments) {
    post([weak, generation, task, arguments...] {
      const auto alive = weak.lock();
      if (alive && (*alive)->generation_ == generation) task(**alive, arguments...);
    });
  };
}

bool QueueRunner::Start() {
  if (!model_.Start()) return false;
  StartNext();
  return true;
}

void QueueRunner::StartNext() {
  const QueueItem* item =
      model_.BeginNext([this](const QueueItem& next) { return runner_.TemporaryPath(next); });
  if (item == nullptr) {
    itemId_.reset();
    return;
  }
  ++generation_;
  itemId_ = item->id;
  launched_ = false;
  if (!afterSave_) {
    Launch(generation_);
    return;
  }
  afterSave_(Guarded([](QueueRunner& runner) { runner.Launch(runner.generation_); }));
}

void QueueRunner::Launch(std::uint64_t generation) {
  const QueueItem* item = itemId_ ? model_.Find(*itemId_) : nullptr;
  if (item == nullptr || generation != generation_) return;
  launched_ = true;
  startedAt_ = clock_();
  ItemCallbacks callbacks;
  callbacks.progress = Guarded([](QueueRunner& runner, double percent, std::optional<double> d) {
    runner.model_.ItemProgress(*runner.itemId_, percent, runner.Elapsed(), d);
  });
  callbacks.ended =
      Guarded([](QueueRunner& runner, ItemEnd end) { runner.Ended(runner.generation_, end); });
  runner_.Start(*item, model_.options().existing, std::move(callbacks));
}

void QueueRunner::Ended(std::uint64_t generation, const ItemEnd& end) {
  if (!itemId_ || generation != generation_) return;
  model_.ItemEnded(*itemId_, end, Elapsed());
  ++generation_;  // nothing more of this item is taken
  itemId_.reset();
  launched_ = false;
  StartNext();
}

void QueueRunner::CancelCurrent() {
  if (!itemId_) return;
  if (launched_) {
    runner_.Cancel();
    return;
  }
  // Still waiting for its save: it never started, so it ends here.
  ++generation_;
  model_.ItemEnded(*itemId_, {ItemState::kCancelled, {}, {}}, 0);
  itemId_.reset();
  StartNext();
}

double QueueRunner::Elapsed() const {
  return clock_() - startedAt_;
}

}  // namespace vexlo::jobs
