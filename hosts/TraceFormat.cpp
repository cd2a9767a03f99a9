#include "hosts/TraceFormat.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <utility>

#include "platform/Paths.h"

namespace vexlo::hosts {

namespace {

// The C locale's month abbreviations: the log keeps them whatever language the desktop uses.
constexpr std::array<const char*, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

std::string FormatTimestamp(std::time_t when) {
  std::tm local{};
  if (localtime_r(&when, &local) == nullptr) return {};
  if (local.tm_mon < 0 || local.tm_mon > 11) return {};
  char text[64];
  const int length =
      std::snprintf(text, sizeof text, "%02d %s-%02d.%02d.%02d ", local.tm_mday,
                    kMonthNames[local.tm_mon], local.tm_hour, local.tm_min, local.tm_sec);
  if (length < 0 || static_cast<std::size_t>(length) >= sizeof text) return {};
  return std::string(text, static_cast<std::size_t>(length));
}

std::string FormatLevelPrefix(int level) {
  // Every log line carries one: made without the cost of a formatted print.
  char text[32] = "[0";
  char* end =
      std::to_chars(text + (level >= 0 && level < 10 ? 2 : 1), text + sizeof text, level).ptr;
  for (const char c : std::string_view("] # ")) *end++ = c;
  return std::string(text, end);
}

std::string DatedLogPath(std::string_view tracePath, int month, int year) {
  const auto nameStart = tracePath.rfind(platform::kPathSeparator);
  const auto dot = tracePath.rfind('.');
  const bool dotInName =
      dot != std::string_view::npos && (nameStart == std::string_view::npos || dot > nameStart);
  std::string path(dotInName ? tracePath.substr(0, dot) : tracePath);
  char suffix[64];
  const int length = std::snprintf(suffix, sizeof suffix, "_%02d_%04d.Log", month, year);
  path.append(suffix, static_cast<std::size_t>(length));
  return path;
}

std::string DatedLogPathAt(std::string_view tracePath, std::time_t when) {
  std::tm local{};
  if (localtime_r(&when, &local) == nullptr) return DatedLogPath(tracePath, 0, 0);
  return DatedLogPath(tracePath, local.tm_mon + 1, local.tm_year + 1900);
}

std::array<std::string, 2> LogFileCandidates(std::string_view tracePath, std::time_t when) {
  std::string beside = DatedLogPathAt(tracePath, when);
  const auto nameStart = beside.rfind(platform::kPathSeparator);
  std::string state = platform::StateDirectory() + platform::kPathSeparator +
                      (nameStart == std::string::npos ? beside : beside.substr(nameStart + 1));
  return {std::move(beside), std::move(state)};
}

}  // namespace vexlo::hosts
