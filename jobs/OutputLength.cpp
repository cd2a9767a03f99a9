#include "jobs/OutputLength.h"

#include <algorithm>
#include <cstdio>

namespace vexlo::jobs {

namespace {

// An output may end this much before its source and still count as whole: encoders end on their
// last frame's start, a frame-rate change drops a frame or two, and audio ends on a packet.
constexpr double kShortFraction = 0.02;
constexpr std::int64_t kShortMinimumMs = 1000;

}  // namespace

bool EndsShort(std::int64_t sourceMs, std::int64_t reachedMs) {
  if (sourceMs <= 0) return false;
  const std::int64_t missing = sourceMs - std::max<std::int64_t>(reachedMs, 0);
  return missing > kShortMinimumMs && static_cast<double>(missing) > kShortFraction * sourceMs;
}

std::string MediaTimeText(std::int64_t ms) {
  ms = std::max<std::int64_t>(ms, 0);
  const long long hundredths = (ms / 10) % 100, seconds = ms / 1000 % 60,
                  minutes = ms / 60000 % 60, hours = ms / 3600000;
  char text[48];
  if (hours > 0) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%02lld", hours, minutes, seconds,
                  hundredths);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld.%02lld", minutes, seconds, hundredths);
  }
  return text;
}

std::string ShortOutputText(std::int64_t sourceMs, std::int64_t reachedMs) {
  return "The output ends at " + MediaTimeText(reachedMs) + " of the source's " +
         MediaTimeText(sourceMs) + " (the source may be damaged or cut short)";
}

std::string ShortOutputWarning(std::int64_t sourceMs, std::int64_t reachedMs) {
  return "##### WARNING: " + ShortOutputText(sourceMs, reachedMs) + " ######\r\n";
}

}  // namespace vexlo::jobs
