#include "process/ProgressDetail.h"

#include <charconv>
#include <chrono>
#include <cmath>

#include "platform/Characters.h"
#include "process/OutputLines.h"

namespace vexlo::process {

namespace {

constexpr std::int64_t kRateWindowMs = 250;  // shorter gaps (chunks of one burst) are no rate
constexpr std::int64_t kKiB = 1024;
// The most significant digits read without the general reader; the largest figure shown.
constexpr int kQuickDigits = 17;
constexpr double kLargestShown = 1e15;
constexpr double kPowersOfTen[] = {1,   10,   100,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,
                                   1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17};

// A number at the start of the text (the "C" locale's decimal point, whatever the program's
// locale); the rest of the text in `rest`.
std::optional<double> LeadingDouble(std::string_view text, std::string_view* rest = nullptr) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || !std::isfinite(value)) return std::nullopt;
  if (rest != nullptr) *rest = text.substr(static_cast<std::size_t>(end - text.data()));
  return value;
}

// LeadingDouble for the numbers FFmpeg writes ("-", digits, one point, digits) without the cost
// of the general reader, which takes the rest (exponents, long numbers).
std::optional<double> LeadingDecimal(std::string_view text, std::string_view* rest = nullptr) {
  const std::size_t first = !text.empty() && text.front() == '-' ? 1 : 0;
  std::uint64_t digits = 0;
  int count = 0;
  int decimals = 0;
  bool point = false;
  std::size_t at = first;
  for (; at < text.size(); ++at) {
    if (platform::IsDigit(text[at])) {
      digits = digits * 10 + static_cast<std::uint64_t>(text[at] - '0');
      ++count;
      decimals += point ? 1 : 0;
    } else if (text[at] == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  const bool general = at < text.size() && (text[at] == 'e' || text[at] == 'E');
  if (count == 0 || count > kQuickDigits || general) return LeadingDouble(text, rest);
  if (rest != nullptr) *rest = text.substr(at);
  const double value = static_cast<double>(digits) / kPowersOfTen[decimals];
  return first == 1 ? -value : value;
}

// A whole number from a figure, or nothing when it cannot be one.
std::optional<std::int64_t> Whole(std::optional<double> value) {
  if (!value || !(std::fabs(*value) < kLargestShown)) return std::nullopt;
  return static_cast<std::int64_t>(*value);
}

std::optional<std::int64_t> ReadSize(std::string_view text) {
  std::string_view unit;
  const auto value = LeadingDecimal(text, &unit);
  if (!value || *value < 0) return std::nullopt;
  double factor = 1;
  if (unit == "kB" || unit == "KiB") factor = kKiB;
  if (unit == "mB" || unit == "MiB") factor = kKiB * kKiB;
  if (unit == "gB" || unit == "GiB") factor = kKiB * kKiB * kKiB;
  return Whole(*value * factor);
}

// The figure times 10^decimals, rounded: what the label shows of it. Nothing for a figure too
// large to be a real one.
std::optional<std::int64_t> Rounded(std::optional<double> value, int decimals) {
  if (!value) return std::nullopt;
  const double scaled = *value * kPowersOfTen[decimals];
  if (!(std::fabs(scaled) < kLargestShown)) return std::nullopt;
  return std::llround(scaled);
}

void AppendNumber(std::string& text, std::int64_t value) {
  char digits[24];
  text.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

// A rounded figure (see Rounded) with its decimals: 18 and 1 give "1.8".
void AppendFixed(std::string& text, std::int64_t scaled, int decimals) {
  if (scaled < 0) text += '-';
  const std::uint64_t magnitude =
      scaled < 0 ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
  const auto unit = static_cast<std::uint64_t>(kPowersOfTen[decimals]);
  AppendNumber(text, static_cast<std::int64_t>(magnitude / unit));
  if (decimals == 0) return;
  text += '.';
  const std::string fraction = std::to_string(magnitude % unit);
  text.append(static_cast<std::size_t>(decimals) - fraction.size(), '0') += fraction;
}

// A byte count as the label shows it: its unit (0 KiB, 1 MiB, 2 GiB) and the count in that
// unit, in tenths of MiB and hundredths of GiB.
SizeShown SizeFigure(std::int64_t bytes) {
  const double kib = static_cast<double>(bytes) / kKiB;
  if (kib < kKiB) return {0, bytes / kKiB};
  if (kib < kKiB * kKiB) return {1, Rounded(kib / kKiB, 1).value_or(0)};
  return {2, Rounded(kib / kKiB / kKiB, 2).value_or(0)};
}

// "640 KiB", "12.3 MiB", "1.25 GiB".
void AppendSize(std::string& text, SizeShown size) {
  constexpr const char* kUnits[] = {" KiB", " MiB", " GiB"};
  AppendFixed(text, size.count, size.unit);
  text += kUnits[size.unit];
}

void AppendTwoDigits(std::string& text, std::int64_t value) {
  if (value < 10) text += '0';
  AppendNumber(text, value);
}

// Seconds as a clock shows them: "0:42", "1:02:03", "26:00:00" (hours keep counting).
void AppendSpan(std::string& text, std::int64_t seconds) {
  const std::int64_t hours = seconds / 3600;
  if (hours == 0) {
    AppendNumber(text, seconds / 60 % 60);
  } else {
    AppendNumber(text, hours);
    text += ':';
    AppendTwoDigits(text, seconds / 60 % 60);
  }
  text += ':';
  AppendTwoDigits(text, seconds % 60);
}

// The value of the line's "time=" field (its key starting the line or following a blank), the
// blanks after the '=' skipped, up to the next blank; empty when there is none.
std::string_view TimeValue(std::string_view line) {
  for (std::size_t at = line.find("time="); at != std::string_view::npos;
       at = line.find("time=", at + 1)) {
    if (at != 0 && !platform::IsBlank(line[at - 1])) continue;
    std::size_t begin = at + 5;
    while (begin < line.size() && platform::IsBlank(line[begin])) ++begin;
    std::size_t end = begin;
    while (end < line.size() && !platform::IsBlank(line[end])) ++end;
    return line.substr(begin, end - begin);
  }
  return {};
}

// True when the text begins as a clock time "H:MM:SS.d" does; cheaper than reading it, for the
// lines that are not read (ReadClockMilliseconds has the last word).
bool LooksLikeClock(std::string_view text) {
  std::size_t at = 0;
  const auto digits = [&] {
    const std::size_t from = at;
    while (at < text.size() && platform::IsDigit(text[at])) ++at;
    return at > from;
  };
  const auto mark = [&](char c) { return at < text.size() && text[at++] == c; };
  return digits() && mark(':') && digits() && mark(':') && digits() && mark('.') && digits();
}

}  // namespace

std::string FormatSpan(std::int64_t ms) {
  std::string text;
  AppendSpan(text, ms < 0 ? 0 : ms / 1000);
  return text;
}

ProgressLine ReadProgressLine(std::string_view line) {
  // One walk over the "key=value" fields: a key starts the line or follows a blank, its value
  // follows the '=' and any blanks, up to the next blank. The first of each key counts.
  ProgressLine read;
  std::optional<std::string_view> frame, fps, size, time, speed;
  for (std::size_t equals = line.find('='); equals != std::string_view::npos;
       equals = line.find('=', equals + 1)) {
    std::size_t keyStart = equals;
    while (keyStart > 0 && !platform::IsBlank(line[keyStart - 1])) --keyStart;
    const std::string_view key = line.substr(keyStart, equals - keyStart);
    std::optional<std::string_view>* field = key == "frame"   ? &frame
                                             : key == "fps"   ? &fps
                                             : key == "size"  ? &size
                                             : key == "time"  ? &time
                                             : key == "speed" ? &speed
                                                              : nullptr;
    if (field == nullptr || field->has_value()) continue;
    std::size_t begin = equals + 1;
    while (begin < line.size() && platform::IsBlank(line[begin])) ++begin;
    std::size_t end = begin;
    while (end < line.size() && !platform::IsBlank(line[end])) ++end;
    *field = line.substr(begin, end - begin);
  }
  if (!time) return read;
  if (frame) read.frame = Whole(LeadingDecimal(*frame));
  if (fps) read.fps = LeadingDecimal(*fps);
  if (size) read.sizeBytes = ReadSize(*size);
  // A time before the start (FFmpeg's first lines may say "-00:00:00.04") is no progress.
  if (const auto ms = ReadClockMilliseconds(*time); ms && *ms >= 0) read.timeMs = ms;
  if (speed) read.speed = LeadingDecimal(*speed);
  return read;
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
  duration_.store(0);
  last_ = {};
  frames_ = 0;
  rateFromMs_ = -1;
  rateFromMedia_ = 0;
  pendingMs_ = -1;
  pendingMedia_ = 0;
  latest_.clear();
  latestMs_ = -1;
  latestRead_ = true;
  rate_ = -1.0;
  shown_ = {};
}

void ProgressDetail::Feed(std::string_view line, std::int64_t nowMs) {
  if (duration_.Read(line)) return;
  if (!LooksLikeClock(TimeValue(line))) return;  // no line with a time: a cut one, "N/A"
  std::lock_guard lock(mutex_);
  // The tool's lines arrive in bursts (a chunk holds several): the last line of a burst, taken
  // when the next burst begins, is the burst's sample of the rate. A line is read in full only
  // when its figures are needed, as such a sample or for the label: in a flood of lines, only
  // the last of each chunk is.
  if (latestMs_ >= 0 && nowMs - latestMs_ >= kRateWindowMs) {
    readLatestLocked();
    if (pendingMs_ >= 0 && nowMs - pendingMs_ >= kRateWindowMs) {
      rate_ = rateWith(pendingMs_, pendingMedia_);
      rateFromMs_ = pendingMs_;
      rateFromMedia_ = pendingMedia_;
    }
  }
  latest_.assign(line);
  latestMs_ = nowMs;
  latestRead_ = false;
}

void ProgressDetail::readLatestLocked() {
  if (latestRead_) return;
  latestRead_ = true;
  const ProgressLine read = ReadProgressLine(latest_);
  if (!read.timeMs) return;
  // A line cut by the runner's chunk limit lacks its last fields: those seen before stay.
  if (read.fps) last_.fps = read.fps;
  if (read.speed) last_.speed = read.speed;
  if (read.frame) last_.frame = read.frame;
  if (read.sizeBytes) last_.sizeBytes = read.sizeBytes;
  last_.timeMs = read.timeMs;
  pendingMs_ = latestMs_;
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

std::string ProgressDetail::Text(std::int64_t nowMs) {
  std::lock_guard lock(mutex_);
  return Format(shownLocked(nowMs));
}

std::optional<std::string> ProgressDetail::Due(std::int64_t nowMs) {
  std::lock_guard lock(mutex_);
  // The figures are compared, not the texts: a text is made only when it changes.
  const Shown shown = shownLocked(nowMs);
  if (shown == shown_) return std::nullopt;
  shown_ = shown;
  return Format(shown);
}

ProgressDetail::Shown ProgressDetail::shownLocked(std::int64_t nowMs) {
  readLatestLocked();
  Shown shown;
  if (!running_ || (kind_ == Kind::kConversion && duration_.load() <= 0)) return shown;
  const std::int64_t now = endMs_ >= 0 ? endMs_ : nowMs;
  const std::int64_t elapsed = now - startMs_;
  shown.elapsedS = std::max<std::int64_t>(elapsed, 0) / 1000;
  if (kind_ == Kind::kFrames) {
    shown.what = Shown::What::kFrames;
    shown.frames = frames_;
    return shown;
  }
  shown.what = Shown::What::kConversion;
  const std::int64_t reached = last_.timeMs.value_or(0);
  const double rate = rateWith(pendingMs_, pendingMedia_);
  if (endMs_ < 0 && elapsed >= kTimeLeftAfterMs && reached > 0 && rate > 0 &&
      reached < duration_.load()) {
    const double left = static_cast<double>(duration_.load() - reached) / rate;
    constexpr double kLeftAtMostMs = 1e12;  // beyond that the rate is no rate
    if (left < kLeftAtMostMs) shown.leftS = static_cast<std::int64_t>(left) / 1000;
  }
  shown.speedDecimals = last_.speed && *last_.speed < 10 ? 1 : 0;
  shown.speed = Rounded(last_.speed, shown.speedDecimals);
  shown.fps = Rounded(last_.fps, 0);
  if (last_.sizeBytes) shown.size = SizeFigure(*last_.sizeBytes);
  return shown;
}

std::string ProgressDetail::Format(const Shown& shown) {
  if (shown.what == Shown::What::kNothing) return {};
  std::string text = "Elapsed ";
  AppendSpan(text, shown.elapsedS);
  if (shown.what == Shown::What::kFrames) {
    text += ", ";
    AppendNumber(text, shown.frames);
    return text + " frames done";
  }
  if (shown.leftS) {
    text += ", left ";
    AppendSpan(text, *shown.leftS);
  }
  if (shown.speed) {
    text += ", ";
    AppendFixed(text, *shown.speed, shown.speedDecimals);
    text += 'x';
  }
  if (shown.fps) {
    text += ", ";
    AppendFixed(text, *shown.fps, 0);
    text += " fps";
  }
  if (shown.size) {
    text += ", ";
    AppendSize(text, *shown.size);
  }
  return text;
}

}  // namespace vexlo::process
