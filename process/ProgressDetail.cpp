#include "process/ProgressDetail.h"

#include <charconv>
#include <chrono>
#include <cmath>

#include "platform/Characters.h"

namespace vexlo::process {

namespace {

constexpr std::int64_t kRateWindowMs = 250;  // shorter gaps (chunks of one burst) are no rate
constexpr std::int64_t kKiB = 1024;

// The value after "key=" where the key starts the line or follows a blank: the blanks after the
// '=' skipped, up to the next blank. Empty when the key is not there.
std::string_view FieldValue(std::string_view line, std::string_view key) {
  for (std::size_t at = line.find(key); at != std::string_view::npos; at = line.find(key, at + 1)) {
    const std::size_t value = at + key.size();
    if ((at != 0 && !platform::IsBlank(line[at - 1])) || value >= line.size() ||
        line[value] != '=') {
      continue;
    }
    std::size_t begin = value + 1;
    while (begin < line.size() && platform::IsBlank(line[begin])) ++begin;
    std::size_t end = begin;
    while (end < line.size() && !platform::IsBlank(line[end])) ++end;
    return line.substr(begin, end - begin);
  }
  return {};
}

// A number at the start of the text (the "C" locale's decimal point, whatever the program's
// locale); the rest of the text in `rest`.
std::optional<double> LeadingDouble(std::string_view text, std::string_view* rest = nullptr) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || !std::isfinite(value)) return std::nullopt;
  if (rest != nullptr) *rest = text.substr(static_cast<std::size_t>(end - text.data()));
  return value;
}

std::optional<std::int64_t> ReadSize(std::string_view text) {
  std::string_view unit;
  const auto value = LeadingDouble(text, &unit);
  if (!value || *value < 0) return std::nullopt;
  double factor = 1;
  if (unit == "kB" || unit == "KiB") factor = kKiB;
  if (unit == "mB" || unit == "MiB") factor = kKiB * kKiB;
  if (unit == "gB" || unit == "GiB") factor = kKiB * kKiB * kKiB;
  return static_cast<std::int64_t>(*value * factor);
}

std::string Fixed(double value, int decimals) {
  char buffer[32];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  return std::string(buffer, result.ptr);
}

std::string TwoDigits(std::int64_t value) {
  return (value < 10 ? "0" : "") + std::to_string(value);
}

}  // namespace

std::optional<std::int64_t> ReadClockTime(std::string_view text) {
  if (text.empty() || text.front() == '-') return std::nullopt;
  std::int64_t parts[2] = {0, 0};
  for (std::int64_t& part : parts) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), part);
    if (error != std::errc() || end == text.data() + text.size() || *end != ':') return {};
    text.remove_prefix(static_cast<std::size_t>(end - text.data()) + 1);
  }
  // The seconds with their decimals: "57." or "5" is a time cut short.
  const auto point = text.find('.');
  if (point == std::string_view::npos || point + 1 >= text.size() ||
      !platform::IsDigit(text[point + 1])) {
    return std::nullopt;
  }
  const auto seconds = LeadingDouble(text);
  constexpr std::int64_t kHoursAtMost = 1'000'000'000;  // no overflow below
  if (!seconds || parts[0] < 0 || parts[0] > kHoursAtMost || parts[1] < 0 || *seconds < 0 ||
      *seconds > kHoursAtMost) {
    return std::nullopt;
  }
  return (parts[0] * 60 + parts[1]) * 60000 + std::llround(*seconds * 1000.0);
}

std::optional<std::int64_t> ReadDurationMs(std::string_view line) {
  const std::size_t at = line.find("Duration:");
  if (at == std::string_view::npos) return std::nullopt;
  std::string_view value = line.substr(at + 9);
  while (!value.empty() && platform::IsBlank(value.front())) value.remove_prefix(1);
  return ReadClockTime(value.substr(0, value.find(',')));
}

ProgressLine ReadProgressLine(std::string_view line) {
  ProgressLine read;
  if (line.find("time=") == std::string_view::npos) return read;
  if (const auto frame = LeadingDouble(FieldValue(line, "frame"))) {
    read.frame = static_cast<std::int64_t>(*frame);
  }
  read.fps = LeadingDouble(FieldValue(line, "fps"));
  read.sizeBytes = ReadSize(FieldValue(line, "size"));
  read.timeMs = ReadClockTime(FieldValue(line, "time"));
  read.speed = LeadingDouble(FieldValue(line, "speed"));
  return read;
}

std::string FormatSpan(std::int64_t ms) {
  const std::int64_t seconds = std::max<std::int64_t>(ms, 0) / 1000;
  const std::int64_t hours = seconds / 3600;
  const std::int64_t minutes = seconds / 60 % 60;
  if (hours == 0) return std::to_string(minutes) + ":" + TwoDigits(seconds % 60);
  return std::to_string(hours) + ":" + TwoDigits(minutes) + ":" + TwoDigits(seconds % 60);
}

std::string FormatSize(std::int64_t bytes) {
  const double kib = static_cast<double>(bytes) / kKiB;
  if (kib < kKiB) return std::to_string(bytes / kKiB) + " KiB";
  if (kib < kKiB * kKiB) return Fixed(kib / kKiB, 1) + " MiB";
  return Fixed(kib / kKiB / kKiB, 2) + " GiB";
}

std::int64_t SteadyNowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void ProgressDetail::Start(Kind kind, std::int64_t nowMs) {
  std::lock_guard lock(mutex_);
  kind_ = kind;
  running_ = true;
  startMs_ = nowMs;
  endMs_ = -1;
  durationMs_ = 0;
  last_ = {};
  frames_ = 0;
  rateFromMs_ = -1;
  rateFromMedia_ = 0;
  pendingMs_ = -1;
  pendingMedia_ = 0;
  rate_ = -1.0;
  shown_.clear();
}

void ProgressDetail::Feed(std::string_view line, std::int64_t nowMs) {
  if (const auto duration = ReadDurationMs(line)) {
    std::lock_guard lock(mutex_);
    durationMs_ = *duration;
    return;
  }
  const ProgressLine read = ReadProgressLine(line);
  if (!read.timeMs) return;
  std::lock_guard lock(mutex_);
  // A line cut by the runner's chunk limit lacks its last fields: those seen before stay.
  if (read.fps) last_.fps = read.fps;
  if (read.speed) last_.speed = read.speed;
  if (read.frame) last_.frame = read.frame;
  if (read.sizeBytes) last_.sizeBytes = read.sizeBytes;
  last_.timeMs = read.timeMs;
  // The tool's lines arrive in bursts (a chunk holds several): the last line of a burst, taken
  // when the next burst begins, is the burst's sample of the rate.
  if (pendingMs_ >= 0 && nowMs - pendingMs_ >= kRateWindowMs) {
    rate_ = rateWith(pendingMs_, pendingMedia_);
    rateFromMs_ = pendingMs_;
    rateFromMedia_ = pendingMedia_;
  }
  pendingMs_ = nowMs;
  pendingMedia_ = *read.timeMs;
}

// The smoothed rate with the sample at (`ms`, `media`) weighed in by the time it spans; the
// rate as it is when there is no earlier sample, or the sample is too close to it.
double ProgressDetail::rateWith(std::int64_t ms, std::int64_t media) const {
  const std::int64_t gap = ms - rateFromMs_;
  if (rateFromMs_ < 0 || gap < kRateWindowMs) return rate_;
  const double rate = static_cast<double>(media - rateFromMedia_) / static_cast<double>(gap);
  const double weight = 1.0 - std::exp(-static_cast<double>(gap) / kSmoothingMs);
  return rate_ < 0 ? rate : rate_ + (rate - rate_) * weight;
}

void ProgressDetail::SetFrames(std::int64_t frames) {
  std::lock_guard lock(mutex_);
  frames_ = frames;
}

void ProgressDetail::Finish(std::int64_t nowMs) {
  std::lock_guard lock(mutex_);
  if (running_ && endMs_ < 0) endMs_ = nowMs;
}

std::string ProgressDetail::Text(std::int64_t nowMs) const {
  std::lock_guard lock(mutex_);
  return textLocked(nowMs);
}

std::optional<std::string> ProgressDetail::Due(std::int64_t nowMs) {
  std::lock_guard lock(mutex_);
  std::string text = textLocked(nowMs);
  if (text == shown_) return std::nullopt;
  shown_ = text;
  return text;
}

std::string ProgressDetail::textLocked(std::int64_t nowMs) const {
  if (!running_) return {};
  const std::int64_t now = endMs_ >= 0 ? endMs_ : nowMs;
  const std::int64_t elapsed = now - startMs_;
  std::string text = "Elapsed " + FormatSpan(elapsed);
  if (kind_ == Kind::kFrames) return text + ", " + std::to_string(frames_) + " frames done";
  if (durationMs_ <= 0) return {};
  const std::int64_t reached = last_.timeMs.value_or(0);
  const double rate = rateWith(pendingMs_, pendingMedia_);
  if (endMs_ < 0 && elapsed >= kTimeLeftAfterMs && reached > 0 && rate > 0 &&
      reached < durationMs_) {
    const double left = static_cast<double>(durationMs_ - reached) / rate;
    constexpr double kLeftAtMostMs = 1e12;  // beyond that the rate is no rate
    if (left < kLeftAtMostMs) text += ", left " + FormatSpan(static_cast<std::int64_t>(left));
  }
  if (last_.speed) text += ", " + Fixed(*last_.speed, *last_.speed < 10 ? 1 : 0) + "x";
  if (last_.fps) text += ", " + Fixed(*last_.fps, 0) + " fps";
  if (last_.sizeBytes) text += ", " + FormatSize(*last_.sizeBytes);
  return text;
}

}  // namespace vexlo::process
