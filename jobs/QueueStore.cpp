#include "jobs/QueueStore.h"

#include <cerrno>

#include "jobs/QueueFile.h"
#include "platform/Paths.h"
#include "platform/SystemError.h"

namespace vexlo::jobs {

namespace {

std::string FolderOf(const std::string& path) {
  const auto cut = path.rfind(platform::kPathSeparator);
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

}  // namespace

std::string QueueFilePath() {
  return platform::StateDirectory() + platform::kPathSeparator + "queue.json";
}

std::string QueueSetAsideLine(const std::string& path, const std::string& aside) {
  return "##### WARNING: The saved queue " + path + " could not be read; it is kept as " + aside +
         " and the queue starts empty  ######\r\n";
}

std::string QueueInUseLine(const std::string& path) {
  return "##### WARNING: The queue " + path +
         " is in use by another Vexlo window; it is shown here read-only  ######\r\n";
}

std::string QueueNotSavedLine(const std::string& path, int error) {
  return "##### ERROR: The queue could not be saved to " + path + ": " +
         platform::ErrorText(error) + "  ######\r\n";
}

QueueStore::QueueStore(QueueModel& model, std::string path, Log log)
    : model_(model), path_(std::move(path)), log_(std::move(log)) {}

QueueStore::~QueueStore() {
  model_.RemoveObserver(this);
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (saver_.joinable()) saver_.join();
}

bool QueueStore::Open() {
  platform::MakeDirectories(FolderOf(path_));
  lock_.emplace(path_ + ".lock", platform::LockWait::kTry);
  // A lock file that cannot be made at all (a folder that cannot be written) cannot be held by
  // anyone: the queue is this window's, and its saves will say why they fail.
  owner_ = lock_->held() || lock_->error() != EWOULDBLOCK;
  if (owner_) platform::RemoveTemporaryFilesOf(path_);

  std::string text;
  std::optional<SavedQueue> saved;
  if (platform::ReadWholeFile(path_, text) == platform::ReadStatus::kRead) {
    saved = QueueFromJson(text);
    if (!saved && owner_) {
      const std::string aside = platform::SetAside(path_);
      if (!aside.empty() && log_) log_(QueueSetAsideLine(path_, aside));
    }
  }
  if (!owner_ && log_) log_(QueueInUseLine(path_));
  if (saved && owner_) {
    for (QueueItem& item : saved->items) RestoreRunningItem(item);
  }
  if (saved) model_.Replace(std::move(saved->items), std::move(saved->options));
  model_.SetReadOnly(!owner_);
  if (owner_) {
    model_.AddObserver(this);
    saver_ = std::thread([this] { SaveLoop(); });
  }
  return owner_;
}

// The item was running when its Vexlo ended without finishing it: it waits again, and the file
// its tool was writing goes, unless that name is its source's or its output's, or lies outside
// the output's folder (a saved file edited by hand must never make the store delete those).
void QueueStore::RestoreRunningItem(QueueItem& item) const {
  if (item.state == ItemState::kRunning) {
    const std::string& temporary = item.temporary;
    if (!temporary.empty() && FolderOf(temporary) == FolderOf(item.output) &&
        !platform::SameFile(temporary, item.source) &&
        !platform::SameFile(temporary, item.output)) {
      (void)platform::DeleteFile(temporary);
    }
    item.state = ItemState::kWaiting;
    item.percent = 0;
    item.elapsedSeconds = 0;
    item.reason.clear();
  }
  item.temporary.clear();
}

void QueueStore::QueueChanged() {
  Snapshot snapshot{model_.items(), model_.options()};
  {
    std::lock_guard lock(mutex_);
    pending_ = std::move(snapshot);
    ++changes_;
  }
  wake_.notify_one();
}

void QueueStore::AfterSave(std::function<void()> then) {
  {
    std::lock_guard lock(mutex_);
    if (savedChanges_ < changes_ && !stopping_) {
      afterSave_.emplace_back(changes_, std::move(then));
      return;
    }
  }
  then();
}

void QueueStore::Flush() {
  std::unique_lock lock(mutex_);
  saved_.wait(lock, [this] { return savedChanges_ >= changes_ || !saver_.joinable(); });
}

std::uint64_t QueueStore::writes() const {
  std::lock_guard lock(mutex_);
  return writes_;
}

void QueueStore::SaveLoop() {
  std::unique_lock lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return pending_.has_value() || stopping_; });
    if (!pending_) return;  // stopping, and everything is saved
    Snapshot snapshot = std::move(*pending_);
    pending_.reset();
    const std::uint64_t upTo = changes_;
    lock.unlock();

    const int error =
        platform::ReplaceWholeFile(path_, QueueToJson(snapshot.items, snapshot.options));
    snapshot = {};  // freed outside the lock
    lock.lock();
    ++writes_;
    savedChanges_ = upTo;
    const bool logFailure = error != 0 && !failureLogged_;
    const bool changed = (error != 0) != failureLogged_;
    failureLogged_ = error != 0;
    std::vector<std::function<void()>> ready;
    std::erase_if(afterSave_, [&](auto& waiting) {
      if (waiting.first > upTo) return false;
      ready.push_back(std::move(waiting.second));
      return true;
    });
    lock.unlock();
    if (logFailure && log_) log_(QueueNotSavedLine(path_, error));
    if (changed && tellResult_) tellResult_(error);
    for (auto& then : ready) then();
    saved_.notify_all();
    lock.lock();
  }
}

}  // namespace vexlo::jobs
