#include "jobs/ItemState.h"

#include <array>

namespace vexlo::jobs {

namespace {

constexpr std::array<std::string_view, 6> kStateWords = {"waiting", "running",   "done",
                                                         "failed",  "cancelled", "skipped"};

}  // namespace

std::string_view StateWord(ItemState state) {
  return kStateWords[static_cast<std::size_t>(state)];
}

std::optional<ItemState> StateFromWord(std::string_view word) {
  for (std::size_t i = 0; i < kStateWords.size(); ++i) {
    if (kStateWords[i] == word) return static_cast<ItemState>(i);
  }
  return std::nullopt;
}

}  // namespace vexlo::jobs
