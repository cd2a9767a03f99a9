#include "jobs/BatchResult.h"

#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

namespace vexlo::jobs {

namespace {

constexpr ItemState kStates[] = {ItemState::kDone, ItemState::kFailed, ItemState::kSkipped,
                                 ItemState::kNotStarted};

// Seconds to the millisecond: the JSON then holds "3.02", not "3.0199999999999996".
double Rounded(double seconds) {
  return std::round(seconds * 1000) / 1000;
}

nlohmann::json Seconds(const std::optional<double>& seconds) {
  return seconds ? nlohmann::json(Rounded(*seconds)) : nlohmann::json(nullptr);
}

}  // namespace

std::string_view StateWord(ItemState state) {
  switch (state) {
    case ItemState::kDone:
      return "done";
    case ItemState::kFailed:
      return "failed";
    case ItemState::kSkipped:
      return "skipped";
    case ItemState::kNotStarted:
      break;
  }
  return "not started";
}

std::string ResultJson(const ItemResult& result) {
  nlohmann::ordered_json object;
  object["source"] = result.source;
  object["output"] = result.output;
  object["state"] = StateWord(result.state);
  object["reason"] = result.reason;
  object["seconds"] = Rounded(result.seconds);
  object["source_duration"] = Seconds(result.sourceSeconds);
  object["output_duration"] = Seconds(result.outputSeconds);
  return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string ResultLogLine(const ItemResult& result, std::size_t number, std::size_t count) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f", result.seconds);
  std::string line = "##### BATCH " + std::to_string(number) + "/" + std::to_string(count) + " " +
                     std::string(StateWord(result.state)) + ": " + result.source + " -> " +
                     result.output;
  if (result.state != ItemState::kNotStarted && result.state != ItemState::kSkipped) {
    line += " (" + std::string(seconds) + " s)";
  }
  if (!result.reason.empty()) line += ": " + result.reason;
  return line + " ######\r\n";
}

std::string SummaryLogLine(const std::vector<ItemResult>& results) {
  std::string line = "##### BATCH END:";
  for (ItemState state : kStates) {
    std::size_t count = 0;
    for (const ItemResult& result : results) count += result.state == state ? 1 : 0;
    line += (state == kStates[0] ? " " : ", ") + std::to_string(count) + " " +
            std::string(StateWord(state));
  }
  return line + " ######\r\n";
}

int BatchExitStatus(const std::vector<ItemResult>& results, bool stopped) {
  if (stopped) return 130;
  for (const ItemResult& result : results) {
    if (result.state == ItemState::kFailed) return 1;
  }
  return 0;
}

}  // namespace vexlo::jobs
