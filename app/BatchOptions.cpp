#include <charconv>

#include "app/CommandOptions.h"

// The batch's options for running items side by side: how many at once, the hardware encoder's
// sessions and the tools' priority.

namespace vexlo::app {

namespace {

// A whole number from 1 to 64, or nothing.
std::optional<unsigned> Count(std::string_view text) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 1 || value > 64) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

bool IsBatchRunOption(std::string_view name) {
  return name == "jobs" || name == "gpu-sessions" || name == "low-priority";
}

std::string ReadBatchRunOption(const GivenOption& option, jobs::BatchRequest& batch) {
  if (option.name == "low-priority") {
    batch.lowPriority = true;
    return {};
  }
  if (option.name == "jobs" && option.value == "auto") {
    batch.jobs = 0;
    return {};
  }
  const std::optional<unsigned> count = Count(option.value);
  if (!count) {
    return "--" + option.name + " takes a whole number from 1 to 64" +
           (option.name == "jobs" ? " or auto" : "") + ", not \"" + OneLine(option.value) + "\"";
  }
  if (option.name == "jobs") {
    batch.jobs = *count;
  } else {
    batch.gpuSessions = *count;
  }
  return {};
}

std::vector<std::pair<std::string, std::string>> BatchRunHelp() {
  return {{"--jobs <N|auto>",
           "With --output-dir: runs up to N items side by side (default auto: as many as there "
           "are processors, each starting only when its estimated memory is free; 1 runs them "
           "one after the other). With more "
           "than one at once each tool gets its share of the processors, and each item's log "
           "lines begin with [N], its position in the input."},
          {"--gpu-sessions <N>",
           "With --output-dir and a hardware encoder: at most N items use it at once (default 3 "
           "for NVIDIA, 2 for AMD)."},
          {"--low-priority",
           "With --output-dir: the tools run at low priority (nice 10; below normal on "
           "Windows)."}};
}

}  // namespace vexlo::app
