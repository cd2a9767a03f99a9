#pragma once

#include <optional>
#include <string_view>

#include "process/RunEnd.h"

// The one vocabulary of an item of many (a batch's source, a queue's row): how it stands, as
// the run's outcome (process::JobOutcome) gives it plus what only a list of items has (waiting,
// running, skipped because its output exists), and the rule for an output that exists.
namespace vexlo::jobs {

/// How an item stands. kDone, kFailed and kCancelled are a run's outcomes (StateAfter); the rest
/// belong to the list: not run yet, running, or never run because its output exists.
enum class ItemState { kWaiting, kRunning, kDone, kFailed, kCancelled, kSkipped };

/// The state of an item whose run ended with `outcome`.
constexpr ItemState StateAfter(process::JobOutcome outcome) {
  switch (outcome) {
    case process::JobOutcome::kFinished:
      return ItemState::kDone;
    case process::JobOutcome::kCancelled:
      return ItemState::kCancelled;
    case process::JobOutcome::kFailed:
      break;
  }
  return ItemState::kFailed;
}

/// True once the item will not run again by itself (done, failed, cancelled, skipped).
constexpr bool HasEnded(ItemState state) {
  return state != ItemState::kWaiting && state != ItemState::kRunning;
}

/// "waiting", "running", "done", "failed", "cancelled", "skipped": the queue's table and its
/// saved file (the batch's results say it in their own words, BatchStateWord).
std::string_view StateWord(ItemState state);
std::optional<ItemState> StateFromWord(std::string_view word);

/// What happens to an item whose output exists when its turn comes: it fails (the batch's
/// default, which names the two options), it is skipped, or the output is replaced once the new
/// one has passed its check.
enum class ExistingOutput { kRefuse, kSkip, kOverwrite };

}  // namespace vexlo::jobs
