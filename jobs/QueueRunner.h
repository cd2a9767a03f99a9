#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "jobs/JobEnd.h"
#include "jobs/QueueModel.h"

// The run of the queue: its items through an item runner, several side by side, their ends posted
// to the window's thread.

namespace vexlo::jobs {

/// What an item runner tells while one item runs. Each may be called from any thread (a
/// runner's own), never two at the same time; `ended` exactly once, also when the item could
/// not start, and nothing after it.
struct ItemCallbacks {
  /// How far the item is, and the source's duration once the tool has said it.
  std::function<void(double percent, std::optional<double> durationSeconds)> progress;
  std::function<void(ItemEnd end)> ended;
};

/// How one item is to run: the rule for an output that exists, its share of the processors
/// (BatchRun::threads, 0 to leave its command line whole), its tools' priority, and the number
/// before its log lines while several items may run ("[N] "; 0 for none).
struct ItemStart {
  ExistingOutput existing = ExistingOutput::kSkip;
  unsigned threads = 0;
  bool lowPriority = false;
  std::size_t number = 0;
};

/// Runs one item of the queue through the same job path as the command-line batch (its check
/// of the output and its temporary file renamed into place). The queue is given one; tests give
/// a scripted one. Several items may run at once, each its own.
class ItemRunner {
 public:
  virtual ~ItemRunner() = default;
  /// The file the item's tool will write until its output has been checked and renamed. The
  /// queue saves it before the item starts, so that a queue restored after a crash can remove it.
  virtual std::string TemporaryPath(const QueueItem& item) = 0;
  /// Starts the item and returns at once.
  virtual void Start(const QueueItem& item, const ItemStart& start, ItemCallbacks callbacks) = 0;
  /// Asks the running item `id` to stop; its end then comes as kCancelled. The others go on.
  virtual void Cancel(std::uint64_t id) = 0;
};

/// What the machine gives the items that run side by side (platform/SystemResources.h): its
/// processors, the memory free now (nothing: unknown), and a hardware encoder's sessions at once
/// (nothing: the card's default, HardwareSessions).
struct QueueMachine {
  unsigned processors = 1;
  std::function<std::optional<std::uint64_t>()> availableMemory;
  std::optional<unsigned> gpuSessions;
};

/// This machine's figures.
QueueMachine ThisMachine();

/// Runs the queue's items on the window's thread, up to the options' "At once" side by side as
/// the batch's slots allow (BatchSlots: in Auto one per processor, each start waiting until its
/// estimated memory fits; never more hardware items of one card than its sessions): Start,
/// "start no new item" and Cancel of one item. The item runner's words are posted to the window's
/// thread and applied to the model there; each end starts the next waiting items, and a failed
/// item never stops the run.
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
              Clock clock = {}, QueueMachine machine = ThisMachine());
  /// Drops every task posted for it that has not run yet. Stop the item runner first.
  ~QueueRunner();
  QueueRunner(const QueueRunner&) = delete;
  QueueRunner& operator=(const QueueRunner&) = delete;

  /// Starts the run (QueueModel::Start) and its first items; false when it cannot start.
  bool Start();
  /// The running items go on to their ends; no new item starts, and the run ends with them.
  void StartNoNewItem();
  /// The running item ends as cancelled (its tool stopped, its temporary file removed by the
  /// item runner); the others go on, and the run starts the next waiting item.
  void Cancel(std::uint64_t id);
  /// Every running item ends as cancelled.
  void CancelAll();
  /// The most items that run at once with the options as they are.
  unsigned Width() const;
  /// Starts every waiting item that may start now (after the options changed); ends the run when
  /// nothing runs and nothing can.
  void StartWaiting();

 private:
  struct Running {
    std::uint64_t generation = 0;  // a task of another generation is dropped
    bool launched = false;         // the item runner has it; otherwise it waits for its save
    double startedAt = 0;
    std::uint64_t estimate = 0;  // EstimatedItemMemory
    int gpu = 0;                 // the hardware encoder's card, 0 for none
    ItemStart start;
  };
  const QueueItem* NextToStart() const;
  void Begin(const QueueItem& item);
  void Launch(std::uint64_t id);
  void Ended(std::uint64_t id, const ItemEnd& end);
  /// A function that any thread may call: it posts `task` (given this runner, the item's id and
  /// the call's arguments) to the window's thread, where it runs only while this runner lives and
  /// the item still runs as the same generation. Made on the window's thread.
  template <typename Task>
  auto Guarded(std::uint64_t id, Task task);
  double Elapsed(std::uint64_t id) const;

  QueueModel& model_;
  ItemRunner& runner_;
  Post post_;
  AfterSave afterSave_;
  Clock clock_;
  QueueMachine machine_;
  std::shared_ptr<QueueRunner*> self_;  // posted tasks hold it weakly; reset when this goes
  std::uint64_t generations_ = 0;
  std::map<std::uint64_t, Running> running_;  // by item id
};

}  // namespace vexlo::jobs
