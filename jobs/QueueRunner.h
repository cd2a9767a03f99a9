#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "jobs/JobEnd.h"
#include "jobs/QueueModel.h"

// The run of the queue: one item after another through an item runner, its ends posted to the
// window's thread.

namespace vexlo::jobs {

/// What an item runner tells while one item runs. Each may be called from any thread (a
/// runner's own), never two at the same time; `ended` exactly once, also when the item could
/// not start, and nothing after it.
struct ItemCallbacks {
  /// How far the item is, and the source's duration once the tool has said it.
  std::function<void(double percent, std::optional<double> durationSeconds)> progress;
  std::function<void(ItemEnd end)> ended;
};

/// Runs one item of the queue through the same job path as the command-line batch (its check
/// of the output and its temporary file renamed into place). The queue is given one; tests give
/// a scripted one.
class ItemRunner {
 public:
  virtual ~ItemRunner() = default;
  /// The file the item's tool will write until its output has been checked and renamed. The
  /// queue saves it before the item starts, so that a queue restored after a crash can remove it.
  virtual std::string TemporaryPath(const QueueItem& item) = 0;
  /// Starts the item and returns at once. An output that exists is skipped or overwritten by
  /// `existing`.
  virtual void Start(const QueueItem& item, ExistingOutput existing, ItemCallbacks callbacks) = 0;
  /// Asks the running item to stop; its end then comes as kCancelled.
  virtual void Cancel() = 0;
};

/// Runs the queue's items one at a time, on the window's thread: Start, Stop After Current and
/// Cancel Current. The item runner's words are posted to the window's thread and applied to the
/// model there; a failed item never stops the run.
class QueueRunner {
 public:
  /// Runs a task on the window's thread later, in the order of posting (DialogHost::post).
  using Post = PostTask;
  /// Calls the task (on any thread) once the queue as it is now has been saved (QueueStore::
  /// AfterSave); without one, items start at once.
  using AfterSave = std::function<void(std::function<void()>)>;
  /// A steady clock in seconds.
  using Clock = std::function<double()>;

  QueueRunner(QueueModel& model, ItemRunner& runner, Post post, AfterSave afterSave = {},
              Clock clock = {});
  /// Drops every task posted for it that has not run yet. Stop the item runner first.
  ~QueueRunner();
  QueueRunner(const QueueRunner&) = delete;
  QueueRunner& operator=(const QueueRunner&) = delete;

  /// Starts the run (QueueModel::Start) and its first item; false when it cannot start.
  bool Start();
  void StopAfterCurrent() { model_.StopAfterCurrent(); }
  /// The running item ends as cancelled (its tool stopped, its temporary file removed by the
  /// item runner) and the run goes on with the next item.
  void CancelCurrent();

 private:
  void StartNext();
  void Launch(std::uint64_t generation);
  void Ended(std::uint64_t generation, const ItemEnd& end);
  /// A function that any thread may call: it posts `task` (given this runner and the call's
  /// arguments) to the window's thread, where it runs only while this runner lives and the item
  /// that is current now is still its current one. Made on the window's thread.
  template <typename Task>
  auto Guarded(Task task);
  double Elapsed() const;

  QueueModel& model_;
  ItemRunner& runner_;
  Post post_;
  AfterSave afterSave_;
  Clock clock_;
  std::shared_ptr<QueueRunner*> self_;  // posted tasks hold it weakly; reset when this goes
  std::uint64_t generation_ = 0;        // the current item's; a task of another is dropped
  std::optional<std::uint64_t> itemId_;
  bool launched_ = false;  // the item runner has it; otherwise it waits for its save
  double startedAt_ = 0;
};

}  // namespace vexlo::jobs
