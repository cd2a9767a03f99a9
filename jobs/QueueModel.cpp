#include "jobs/QueueModel.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>

#include "encode/OutputNames.h"
#include "platform/Paths.h"
#include "process/LogTexts.h"

namespace vexlo::jobs {

namespace {

// The name under which two spellings of one file compare equal: its folder with links and ".."
// resolved as far as it exists (an output's folder may not exist yet), then its name; on Windows,
// where names ignore letter case, in lower case. Resolving a folder costs a call per component,
// so each folder is resolved once per batch of names (`folders`). A name that is itself a link
// is seen by SameFile.
std::string ComparisonKey(const std::string& path,
                          std::unordered_map<std::string, std::string>& folders) {
  const std::size_t cut = path.rfind(platform::kPathSeparator);
  const std::string folder = cut == std::string::npos ? "." : path.substr(0, cut);
  auto known = folders.find(folder);
  if (known == folders.end()) {
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(folder, error);
    if (error) resolved = std::filesystem::path(folder).lexically_normal();
    known = folders.emplace(folder, resolved.string()).first;
  }
  std::string key = known->second;
  if (!key.ends_with(platform::kPathSeparator)) key += platform::kPathSeparator;
  key.append(path, cut == std::string::npos ? 0 : cut + 1);
#ifdef _WIN32
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
#endif
  return key;
}

std::string NotQueued(std::string_view why, const std::string& source) {
  return "##### ERROR: Not queued, " + std::string(why) + ": " + source + "  ######\r\n";
}

}  // namespace

std::string SummaryText(const RunSummary& summary) {
  const std::pair<int, std::string_view> counts[] = {{summary.done, "done"},
                                                     {summary.failed, "failed"},
                                                     {summary.cancelled, "cancelled"},
                                                     {summary.skipped, "skipped"}};
  std::string text;
  for (const auto& [count, word] : counts) {
    if (count == 0) continue;
    if (!text.empty()) text += ", ";
    text += std::to_string(count) + " " + std::string(word);
  }
  return text.empty() ? "0 done" : text;
}

QueueProgress MeasureProgress(const std::vector<QueueItem>& items) {
  double known = 0;
  int knownCount = 0;
  for (const QueueItem& item : items) {
    if (item.durationSeconds && *item.durationSeconds > 0) {
      known += *item.durationSeconds;
      ++knownCount;
    }
  }
  const double fallback = knownCount > 0 ? known / knownCount : 1.0;
  double total = 0, complete = 0, measuredWeight = 0, measuredSeconds = 0;
  int running = 0;
  for (const QueueItem& item : items) {
    const double weight =
        item.durationSeconds && *item.durationSeconds > 0 ? *item.durationSeconds : fallback;
    total += weight;
    if (HasEnded(item.state)) complete += weight;
    const double part = item.state == ItemState::kRunning ? weight * item.percent / 100 : 0;
    running += item.state == ItemState::kRunning ? 1 : 0;
    complete += part;
    if ((item.state == ItemState::kDone || item.state == ItemState::kRunning) &&
        item.elapsedSeconds > 0) {
      measuredWeight += item.state == ItemState::kDone ? weight : part;
      measuredSeconds += item.elapsedSeconds;
    }
  }
  QueueProgress progress;
  if (total > 0) progress.fraction = std::clamp(complete / total, 0.0, 1.0);
  if (measuredWeight > 0 && measuredSeconds > 0) {
    progress.secondsLeft =
        (total - complete) / (measuredWeight / measuredSeconds * std::max(running, 1));
  }
  return progress;
}

void QueueModel::RemoveObserver(QueueObserver* observer) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

const QueueItem* QueueModel::Find(std::uint64_t id) const {
  const std::size_t at = IndexOf(id);
  return at < items_.size() ? &items_[at] : nullptr;
}

std::size_t QueueModel::IndexOf(std::uint64_t id) const {
  const auto found = std::find_if(items_.begin(), items_.end(),
                                  [id](const QueueItem& item) { return item.id == id; });
  return static_cast<std::size_t>(found - items_.begin());
}

void QueueModel::Changed() {
  for (QueueObserver* observer : observers_) observer->QueueChanged();
}

QueueModel::Keys QueueModel::KeysOf(const QueueItem& item, FolderKeys& folders) {
  return {ComparisonKey(item.source, folders), ComparisonKey(item.output, folders)};
}

void QueueModel::Index(const QueueItem& item, Keys keys) {
  ++sources_[keys.source];
  outputs_.emplace(keys.output, item.source);
  keys_.emplace(item.id, std::move(keys));
}

void QueueModel::Unindex(std::uint64_t id) {
  const auto found = keys_.find(id);
  if (found == keys_.end()) return;
  const Keys& keys = found->second;
  if (--sources_[keys.source] <= 0) sources_.erase(keys.source);
  if (const auto writer = outputs_.find(keys.output); writer != outputs_.end()) {
    outputs_.erase(writer);
  }
  keys_.erase(found);
}

void QueueModel::SetOptions(QueueOptions options) {
  if (readOnly_) return;
  options_ = std::move(options);
  Changed();
}

std::string QueueModel::Refusal(const QueueItem& item, const Keys& keys) const {
  const std::string& source = item.source;
  const std::string& output = item.output;
  for (const std::string* path : {&source, &output}) {
    if (!platform::PathIsSafeForCommandLine(*path)) return process::text::UnusablePath(*path);
  }
  const std::string& sourceKey = keys.source;
  const std::string& outputKey = keys.output;
  // An output that does not exist yet cannot be another name of the source: one stat, not two.
  std::error_code missing;
  if (sourceKey == outputKey ||
      (std::filesystem::exists(output, missing) && platform::SameFile(source, output))) {
    return NotQueued("its output would be its own source", source);
  }
  if (const auto other = outputs_.find(outputKey); other != outputs_.end()) {
    return NotQueued("its output " + output + " is already the output of " + other->second, source);
  }
  if (sources_.contains(outputKey)) {
    return NotQueued("its output " + output + " is the source of a queued item", source);
  }
  if (const auto writer = outputs_.find(sourceKey); writer != outputs_.end()) {
    return NotQueued("it is the output of " + writer->second, source);
  }
  return {};
}

AddResult QueueModel::Add(const std::vector<std::string>& sources,
                          const encode::EncoderSettings& settings) {
  AddResult result;
  if (readOnly_) return result;
  FolderKeys folders;
  for (const std::string& source : sources) {
    QueueItem item;
    item.source = source;
    item.output =
        encode::OutputPathIn(source, options_.outputFolder,
                             encode::OutputExtension(encode::OutputTypeOf(settings.outType)));
    Keys keys = KeysOf(item, folders);
    if (std::string refusal = Refusal(item, keys); !refusal.empty()) {
      result.refusals.push_back(std::move(refusal));
      continue;
    }
    item.id = nextId_++;
    item.settings = settings;
    Index(item, std::move(keys));
    items_.push_back(std::move(item));
    ++result.added;
  }
  if (result.added > 0) Changed();
  return result;
}

std::size_t QueueModel::Remove(const std::vector<std::uint64_t>& ids) {
  if (readOnly_) return 0;
  const auto goes = [&ids](const QueueItem& item) {
    return item.state != ItemState::kRunning &&
           std::find(ids.begin(), ids.end(), item.id) != ids.end();
  };
  for (const QueueItem& item : items_) {
    if (goes(item)) Unindex(item.id);
  }
  const std::size_t before = items_.size();
  items_.erase(std::remove_if(items_.begin(), items_.end(), goes), items_.end());
  if (items_.size() != before) Changed();
  return before - items_.size();
}

bool QueueModel::MoveUp(std::uint64_t id) {
  const std::size_t at = IndexOf(id);
  if (readOnly_ || at == 0 || at >= items_.size()) return false;
  std::swap(items_[at - 1], items_[at]);
  Changed();
  return true;
}

bool QueueModel::MoveDown(std::uint64_t id) {
  const std::size_t at = IndexOf(id);
  if (readOnly_ || at + 1 >= items_.size()) return false;
  std::swap(items_[at], items_[at + 1]);
  Changed();
  return true;
}

std::size_t QueueModel::RetryFailed() {
  if (readOnly_) return 0;
  std::size_t count = 0;
  for (QueueItem& item : items_) {
    if (item.state != ItemState::kFailed && item.state != ItemState::kCancelled) continue;
    item.state = ItemState::kWaiting;
    item.reason.clear();
    item.percent = 0;
    item.elapsedSeconds = 0;
    ++count;
  }
  if (count > 0) Changed();
  return count;
}

std::size_t QueueModel::ClearFinished() {
  std::vector<std::uint64_t> ended;
  for (const QueueItem& item : items_) {
    if (HasEnded(item.state)) ended.push_back(item.id);
  }
  return Remove(ended);
}

void QueueModel::SetDuration(std::uint64_t id, double seconds) {
  const std::size_t at = IndexOf(id);
  if (readOnly_ || at >= items_.size()) return;
  items_[at].durationSeconds = seconds;
  for (QueueObserver* observer : observers_) observer->ItemProgressed(at);
}

void QueueModel::Replace(std::vector<QueueItem> items, QueueOptions options) {
  items_ = std::move(items);
  options_ = std::move(options);
  sources_.clear();
  outputs_.clear();
  keys_.clear();
  FolderKeys folders;
  for (QueueItem& item : items_) {
    item.id = nextId_++;
    Index(item, KeysOf(item, folders));
  }
  running_ = false;
  Changed();
}

bool QueueModel::Start() {
  const bool waiting = std::any_of(items_.begin(), items_.end(), [](const QueueItem& item) {
    return item.state == ItemState::kWaiting;
  });
  if (readOnly_ || running_ || !waiting) return false;
  running_ = true;
  startNoNewItem_ = false;
  run_ = {};
  return true;
}

void QueueModel::StartNoNewItem() {
  if (running_) startNoNewItem_ = true;
}

const QueueItem* QueueModel::Begin(std::uint64_t id, std::string temporary) {
  const std::size_t at = IndexOf(id);
  if (!running_ || startNoNewItem_ || at >= items_.size() ||
      items_[at].state != ItemState::kWaiting) {
    return nullptr;
  }
  QueueItem& next = items_[at];
  next.state = ItemState::kRunning;
  next.percent = 0;
  next.elapsedSeconds = 0;
  next.reason.clear();
  next.temporary = std::move(temporary);
  Changed();
  return &next;
}

void QueueModel::EndRun() {
  if (!running_) return;
  const bool waiting = std::any_of(items_.begin(), items_.end(), [](const QueueItem& item) {
    return item.state == ItemState::kWaiting;
  });
  running_ = false;
  run_.stopped = startNoNewItem_ && waiting;
  startNoNewItem_ = false;
  for (QueueObserver* observer : observers_) observer->RunEnded(run_);
}

std::size_t QueueModel::RunningCount() const {
  return static_cast<std::size_t>(
      std::count_if(items_.begin(), items_.end(),
                    [](const QueueItem& item) { return item.state == ItemState::kRunning; }));
}

void QueueModel::ItemProgress(std::uint64_t id, double percent, double elapsedSeconds,
                              std::optional<double> durationSeconds) {
  const std::size_t at = IndexOf(id);
  if (at >= items_.size() || items_[at].state != ItemState::kRunning) return;
  QueueItem& item = items_[at];
  item.percent = std::clamp(percent, 0.0, 100.0);
  item.elapsedSeconds = elapsedSeconds;
  if (durationSeconds) item.durationSeconds = durationSeconds;
  for (QueueObserver* observer : observers_) observer->ItemProgressed(at);
}

void QueueModel::ItemEnded(std::uint64_t id, const ItemEnd& end, double elapsedSeconds) {
  const std::size_t at = IndexOf(id);
  if (at >= items_.size() || items_[at].state != ItemState::kRunning) return;
  QueueItem& item = items_[at];
  item.state = HasEnded(end.state) ? end.state : ItemState::kFailed;
  item.reason = end.reason;
  item.quality = item.state == ItemState::kDone ? end.quality : std::nullopt;
  item.elapsedSeconds = elapsedSeconds;
  item.percent = item.state == ItemState::kDone ? 100 : item.percent;
  item.temporary.clear();
  int* counts[] = {nullptr, nullptr, &run_.done, &run_.failed, &run_.cancelled, &run_.skipped};
  ++*counts[static_cast<std::size_t>(item.state)];
  Changed();
}

}  // namespace vexlo::jobs
