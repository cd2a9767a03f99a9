#include "process/OutputLines.h"

#include <array>

#include "platform/Characters.h"

namespace vexlo::process {

namespace {

constexpr std::array<std::string_view, 6> kReportMarkers = {
    "Input #", "Output #", "frame=", "Video:", "Audio:", "Duration:"};
constexpr std::string_view kDurationMarker = "Duration:";
constexpr std::string_view kTimeMarker = "time=";
// More hour digits than this cannot be a real duration and could overflow.
constexpr int kMaxHourDigits = 9;
constexpr int kFractionDigits = 3;

// Reads 1 to maxDigits digits from the front of the text.
std::optional<std::int64_t> ReadDigits(std::string_view& text, int maxDigits) {
  std::int64_t value = 0;
  int digits = 0;
  while (!text.empty() && platform::IsDigit(text.front())) {
    if (++digits > maxDigits) return std::nullopt;
    value = value * 10 + (text.front() - '0');
    text.remove_prefix(1);
  }
  if (digits == 0) return std::nullopt;
  return value;
}

bool Consume(std::string_view& text, char c) {
  if (text.empty() || text.front() != c) return false;
  text.remove_prefix(1);
  return true;
}

// Milliseconds of the fraction after a point: ".5" 500, ".50" 500, ".505" 505; further digits
// are below a millisecond and ignored.
std::int64_t ReadFraction(std::string_view text) {
  std::int64_t ms = 0;
  int scale = 100;
  for (int i = 0; i < kFractionDigits && !text.empty() && platform::IsDigit(text.front()); ++i) {
    ms += (text.front() - '0') * scale;
    scale /= 10;
    text.remove_prefix(1);
  }
  return ms;
}

// The figure after a marker: the time that follows the first occurrence, or 0.
std::int64_t TimeAfter(std::string_view line, std::size_t markerAt, std::size_t markerLength) {
  return ReadClockMilliseconds(line.substr(markerAt + markerLength)).value_or(0);
}

}  // namespace

bool IsReportLine(std::string_view line) {
  for (const auto marker : kReportMarkers) {
    if (line.find(marker) != std::string_view::npos) return true;
  }
  return false;
}

std::optional<std::int64_t> ReadClockMilliseconds(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  const bool negative = Consume(text, '-');
  const auto hours = ReadDigits(text, kMaxHourDigits);
  if (!hours || !Consume(text, ':')) return std::nullopt;
  const auto minutes = ReadDigits(text, 2);
  if (!minutes || !Consume(text, ':')) return std::nullopt;
  const auto seconds = ReadDigits(text, 2);
  if (!seconds) return std::nullopt;
  std::int64_t ms = ((*hours * 60 + *minutes) * 60 + *seconds) * 1000;
  if (Consume(text, '.')) ms += ReadFraction(text);
  return negative ? -ms : ms;
}

OutputTimes ReadOutputTimes(std::string_view line) {
  OutputTimes times;
  if (const auto at = line.find(kDurationMarker); at != std::string_view::npos) {
    times.durationMs = TimeAfter(line, at, kDurationMarker.size());
  }
  if (const auto at = line.find(kTimeMarker); at != std::string_view::npos) {
    times.timeMs = TimeAfter(line, at, kTimeMarker.size());
  }
  return times;
}

bool SourceDuration::Read(std::string_view line) {
  if (read_.load()) return false;
  const std::optional<std::int64_t> ms = ReadOutputTimes(line).durationMs;
  if (!ms) return false;
  ms_.store(*ms);
  read_.store(true);
  return true;
}

}  // namespace vexlo::process
