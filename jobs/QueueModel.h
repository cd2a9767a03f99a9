#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "encode/EncoderSettings.h"
#include "jobs/ItemState.h"
#include "jobs/QualityMeasure.h"

// The queue of many files as plain data: its items with the settings each took when it was
// added, their states, the operations of the queue window's buttons, the order of the run and
// the figures of the whole queue. No window code and no process: the queue window (Qt or Win32)
// observes it, QueueRunner runs its items through an item runner, QueueStore saves it.
namespace vexlo::jobs {

struct QueueItem {
  std::uint64_t id = 0;  // unique for the model's life, never reused; not saved
  std::string source;    // a video file, or the first picture of a numbered PNG sequence
  std::string output;
  encode::EncoderSettings settings;  // as the main window had them when the item was added
  ItemState state = ItemState::kWaiting;
  double percent = 0;                     // while it runs
  double elapsedSeconds = 0;              // so far while it runs; how long it took once ended
  std::string reason;                     // why it failed or was skipped
  std::optional<double> durationSeconds;  // the source's, once known
  std::string temporary;  // while it runs: the file its tool writes until the output is checked
  std::optional<QualityFigures> quality;  // a done item's output measured against its source
};

/// How an item's run ended, as the item runner tells it: kDone, kFailed (with its reason),
/// kCancelled or kSkipped (with why); a state that has not ended counts as kFailed.
struct ItemEnd {
  ItemState state = ItemState::kFailed;
  std::string reason;
  std::optional<QualityFigures> quality;  // a done item's, when it could be measured
};

struct QueueOptions {
  std::string outputFolder;                         // "" puts each output beside its source
  ExistingOutput existing = ExistingOutput::kSkip;  // never kRefuse
  unsigned atOnce = 1;       // items run side by side, 1 to 4; 0 for Auto (the batch's --jobs auto)
  bool lowPriority = false;  // the items' tools run below the program's priority
  double targetSsim = 0;     // given to the items added from now on instead of a CRF; 0 none
};

/// The targets the queue window offers for the items it adds ("None" is 0).
inline constexpr double kQueueTargets[] = {0, 0.95, 0.97, 0.99};

/// The whole queue's bar and time left.
struct QueueProgress {
  double fraction = 0;                // 0 to 1
  std::optional<double> secondsLeft;  // once a speed has been measured
};

/// How a run of the queue ended: the items that ended during it, by state.
struct RunSummary {
  int done = 0, failed = 0, cancelled = 0, skipped = 0;
  bool stopped = false;  // "start no new item" ended it before the last waiting item
};

/// "12 done, 1 failed": each state that occurred, in the order done, failed, cancelled, skipped.
std::string SummaryText(const RunSummary& summary);

/// The whole queue's fraction and time left. Each item weighs its source's duration (an item
/// whose duration is not known yet weighs the mean of the known ones, or 1 when none is known);
/// ended items count as complete, each running one by its percent. The speed is the weight done
/// per second of an item's own time over the done items and the running ones, times the items
/// running now (at least 1), since they run side by side.
QueueProgress MeasureProgress(const std::vector<QueueItem>& items);

/// What the queue window shows; the model tells its observers on the window's thread.
class QueueObserver {
 public:
  virtual ~QueueObserver() = default;
  /// Items were added, removed, moved, or changed state, or the options changed: what is saved.
  virtual void QueueChanged() {}
  /// A running item's percent, elapsed time or duration changed (row index): not saved.
  virtual void ItemProgressed(std::size_t /*row*/) {}
  /// A run of the queue has ended (one desktop notification: SummaryText).
  virtual void RunEnded(const RunSummary& /*summary*/) {}
};

struct AddResult {
  std::size_t added = 0;
  std::vector<std::string> refusals;  // one log line (with CR LF) per source not added
};

/// The queue. Every member is called on the window's thread.
class QueueModel {
 public:
  void AddObserver(QueueObserver* observer) { observers_.push_back(observer); }
  void RemoveObserver(QueueObserver* observer);

  const std::vector<QueueItem>& items() const { return items_; }
  const QueueItem* Find(std::uint64_t id) const;
  const QueueOptions& options() const { return options_; }
  void SetOptions(QueueOptions options);
  /// A queue that another Vexlo window runs: shown, never changed, never started.
  bool readOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }

  /// Adds one item per source (absolute paths) with a copy of `settings`; its output named by
  /// encode::OutputPathIn in the options' folder (or beside its source), with the output type's
  /// extension. Refused, each with its line: a path the tools
  /// cannot be given, an output that is its own source, another item's output or another item's
  /// source, and a source that another item writes.
  AddResult Add(const std::vector<std::string>& sources, const encode::EncoderSettings& settings);
  /// Removes the items (a running one stays). How many went.
  std::size_t Remove(const std::vector<std::uint64_t>& ids);
  bool MoveUp(std::uint64_t id);
  bool MoveDown(std::uint64_t id);
  /// Failed and cancelled items wait again. How many.
  std::size_t RetryFailed();
  /// Removes every item that has ended (done, failed, cancelled, skipped). How many.
  std::size_t ClearFinished();
  /// The source's duration, once something has read it (a probe, the tool's own report): it
  /// weighs the item in the whole queue's bar and time left. Saved with the next change.
  void SetDuration(std::uint64_t id, double seconds);
  /// Puts a saved queue in place of this one (ids are given anew).
  void Replace(std::vector<QueueItem> items, QueueOptions options);

  // The run. Start, then Begin for each item as it starts and ItemEnded as it ends; EndRun
  // once nothing runs and nothing more will start.

  /// Starts a run; false when read-only, already running, or no item waits.
  bool Start();
  bool running() const { return running_; }
  /// The running items end as they would, and no new item starts: the run ends with them.
  void StartNoNewItem();
  bool startingNoNewItem() const { return startNoNewItem_; }
  /// Marks the waiting item running, writing to `temporary`, and returns it; null when it does
  /// not wait, no run is under way or no new item may start.
  const QueueItem* Begin(std::uint64_t id, std::string temporary);
  /// Ends the run (RunEnded).
  void EndRun();
  void ItemProgress(std::uint64_t id, double percent, double elapsedSeconds,
                    std::optional<double> durationSeconds);
  void ItemEnded(std::uint64_t id, const ItemEnd& end, double elapsedSeconds);
  /// How many items run now.
  std::size_t RunningCount() const;

 private:
  std::size_t IndexOf(std::uint64_t id) const;
  struct Keys {
    std::string source, output;
  };
  using FolderKeys = std::unordered_map<std::string, std::string>;
  static Keys KeysOf(const QueueItem& item, FolderKeys& folders);
  std::string Refusal(const QueueItem& item, const Keys& keys) const;
  void Index(const QueueItem& item, Keys keys);
  void Unindex(std::uint64_t id);
  void Changed();

  std::vector<QueueItem> items_;
  QueueOptions options_;
  std::uint64_t nextId_ = 1;
  bool readOnly_ = false;
  bool running_ = false;
  bool startNoNewItem_ = false;
  RunSummary run_;
  // Every item's source and output by the name that compares equal for one file (sources to how
  // many items read them, outputs to the source of the one item that writes each): the refusals of
  // Add look names up instead of comparing every pair, so adding 1,000 files stays quick.
  std::unordered_map<std::string, int> sources_;
  std::unordered_map<std::string, std::string> outputs_;  // to the source of the item writing it
  std::unordered_map<std::uint64_t, Keys> keys_;  // each item's, as they were when it was added
  std::vector<QueueObserver*> observers_;
};

}  // namespace vexlo::jobs
