#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "jobs/QueueModel.h"
#include "platform/AtomicFile.h"

// The saved queue: where queue.json lives, its lock, its restore and a save after each change.

namespace vexlo::jobs {

/// The saved queue's file: ${XDG_STATE_HOME:-~/.local/state}/vexlo/queue.json (on Windows
/// %LOCALAPPDATA%\Vexlo\queue.json), evaluated at each call.
std::string QueueFilePath();

/// Log lines of the store.
std::string QueueSetAsideLine(const std::string& path, const std::string& aside);
std::string QueueInUseLine(const std::string& path);
std::string QueueNotSavedLine(const std::string& path, int error);

/// Saves the queue after every change and restores it at start. The file is replaced whole
/// (temporary file, sync, rename), by a thread of its own: each change costs the window's
/// thread one copy of the items, and changes that come while a save is under way are saved
/// together by the next one. A lock beside the file (queue.json.lock), held for the store's life,
/// keeps a second Vexlo from running or saving the same queue.
class QueueStore : public QueueObserver {
 public:
  /// Where the store's lines go (any thread, one at a time).
  using Log = std::function<void(std::string_view line)>;

  QueueStore(QueueModel& model, std::string path, Log log);
  /// Saves what is pending, then stops observing the model.
  ~QueueStore() override;
  QueueStore(const QueueStore&) = delete;
  QueueStore& operator=(const QueueStore&) = delete;

  /// Takes the lock and puts the saved queue into the model, from then on saving each change.
  /// Restored items keep their state, but an item that was running waits again and its
  /// temporary file is removed; the queue does not start. A file that is not a saved queue is
  /// kept as queue.json.bad and logged. When another Vexlo holds the lock the model shows the
  /// saved queue read-only (logged), nothing is removed and nothing is ever written: false.
  bool Open();

  /// Where the saver tells a change in how saves go: the errno of a save that failed after a
  /// good one (or after none), 0 for the first good save after a failed one. On the store's
  /// thread; set it before Open.
  void TellSaveResults(std::function<void(int error)> tell) { tellResult_ = std::move(tell); }

  /// Calls `then` once everything changed so far is saved (or its save has failed): on the
  /// store's thread, or at once when nothing is pending.
  void AfterSave(std::function<void()> then);
  /// Waits until everything changed so far is saved.
  void Flush();
  /// The saves written so far (changes that came during a save are written together).
  std::uint64_t writes() const;

  void QueueChanged() override;

 private:
  struct Snapshot {
    std::vector<QueueItem> items;
    QueueOptions options;
  };
  void RestoreRunningItem(QueueItem& item) const;
  void SaveLoop();

  QueueModel& model_;
  const std::string path_;
  const Log log_;
  std::function<void(int error)> tellResult_;
  std::optional<platform::FileLock> lock_;
  bool owner_ = false;

  mutable std::mutex mutex_;
  std::condition_variable wake_, saved_;
  std::optional<Snapshot> pending_;
  std::uint64_t changes_ = 0, savedChanges_ = 0, writes_ = 0;
  std::vector<std::pair<std::uint64_t, std::function<void()>>> afterSave_;
  bool stopping_ = false;
  bool failureLogged_ = false;  // a failed save is logged once until one succeeds
  std::thread saver_;
};

}  // namespace vexlo::jobs
