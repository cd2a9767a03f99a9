#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

// Each queue item's own log lines, for the queue window's pane under its table.

namespace vexlo::app {

/// The last lines of each item, kept apart so that the window shows one item's lines alone.
/// Memory stays bounded: each item keeps its newest `itemBytes` or so (whole lines), and only the
/// `items` items that logged last keep theirs. Append is called by the items' threads; the rest
/// on the window's thread.
class QueueItemLogs {
 public:
  explicit QueueItemLogs(std::size_t itemBytes = 32 * 1024, std::size_t items = 32)
      : itemBytes_(itemBytes), items_(items) {}

  /// Adds one whole line of the item. True when the window should be told (the first line since
  /// it last read with Since): the caller posts one refresh, so a flood costs one post per read.
  bool Append(std::uint64_t item, std::string_view line);

  /// What the window shows of an item that has shown the item's bytes up to `shownEnd`: the
  /// text after it (`replace` false), or all that is kept (`replace` true) when `whole` asks for
  /// it or lines the window has not shown were dropped; `end` is the position to give next time.
  /// It also ends the wait for a refresh, so call it at each refresh, with an item or without (0).
  struct Piece {
    std::string text;
    bool replace = false;
    std::uint64_t end = 0;
  };
  Piece Since(std::uint64_t item, std::uint64_t shownEnd, bool whole = false);

 private:
  struct Log {
    std::string text;
    std::uint64_t end = 0;  // bytes ever appended; text holds the last text.size() of them
  };
  const std::size_t itemBytes_;
  const std::size_t items_;
  mutable std::mutex mutex_;
  std::unordered_map<std::uint64_t, Log> logs_;
  std::deque<std::uint64_t> order_;  // the items with a log, the one that logged first in front
  bool told_ = false;                // a refresh has been asked for and has not read yet
};

}  // namespace vexlo::app
