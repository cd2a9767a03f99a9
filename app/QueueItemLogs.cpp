#include "app/QueueItemLogs.h"

#include <algorithm>

namespace vexlo::app {

bool QueueItemLogs::Append(std::uint64_t item, std::string_view line) {
  const std::lock_guard lock(mutex_);
  auto [found, added] = logs_.try_emplace(item);
  if (added) {
    order_.push_back(item);
    if (order_.size() > items_) {
      logs_.erase(order_.front());
      order_.pop_front();
    }
  }
  Log& log = found->second;
  log.text.append(line);
  log.end += line.size();
  // Dropped by halves, at a line's end: a line costs no move of the whole text.
  if (log.text.size() > itemBytes_) {
    std::size_t cut = log.text.find('\n', log.text.size() - itemBytes_ / 2);
    cut = cut == std::string::npos ? log.text.size() - itemBytes_ / 2 : cut + 1;
    log.text.erase(0, cut);
  }
  const bool tell = !told_;
  told_ = true;
  return tell;
}

QueueItemLogs::Piece QueueItemLogs::Since(std::uint64_t item, std::uint64_t shownEnd, bool whole) {
  const std::lock_guard lock(mutex_);
  told_ = false;
  const auto found = logs_.find(item);
  if (found == logs_.end()) return {{}, whole || shownEnd != 0, 0};
  const Log& log = found->second;
  const std::uint64_t start = log.end - log.text.size();
  if (whole || shownEnd < start || shownEnd > log.end) return {log.text, true, log.end};
  return {log.text.substr(static_cast<std::size_t>(shownEnd - start)), false, log.end};
}

}  // namespace vexlo::app
