#include "analysis/FrameParser.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

#include "platform/Characters.h"
#include "platform/LeadingNumber.h"

namespace vexlo::analysis {

namespace {

// The keys of a frame block, in the order their values are applied.
enum Key {
  kKeyFrame,
  kPictType,
  kPktPos,
  kPktSize,
  kInterlaced,
  kPktDurationTime,
  kDurationTime,
  kTopFieldFirst,
  kMediaType,
  kPixFmt,
  kWidth,
  kHeight,
  kSampleAspectRatio,
  kBestEffortTime,
  kKeyCount,
};

constexpr std::array<std::string_view, kKeyCount> kKeyNames = {
    "key_frame",           "pict_type",         "pkt_pos",       "pkt_size",
    "interlaced_frame",    "pkt_duration_time", "duration_time", "top_field_first",
    "media_type",          "pix_fmt",           "width",         "height",
    "sample_aspect_ratio", "best_effort_timestamp_time",
};

using KeyValues = std::array<std::optional<std::string_view>, kKeyCount>;

bool IsKeyCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || platform::IsDigit(c) || c == '_';
}

std::optional<Key> KeyNamed(std::string_view name) {
  for (int key = 0; key < kKeyCount; ++key) {
    if (kKeyNames[key] == name) return static_cast<Key>(key);
  }
  return std::nullopt;
}

// Finds, for each key, the value after its first whole-name occurrence followed by "=". Every
// "=" of the line is looked at, so one line can carry several keys.
KeyValues FindKeyValues(std::string_view line) {
  KeyValues values;
  for (std::size_t equals = line.find('='); equals != std::string_view::npos;
       equals = line.find('=', equals + 1)) {
    std::size_t start = equals;
    while (start > 0 && IsKeyCharacter(line[start - 1])) --start;
    const auto key = KeyNamed(line.substr(start, equals - start));
    if (key && !values[*key]) values[*key] = line.substr(equals + 1);
  }
  return values;
}

std::string_view SkipBlanks(std::string_view text) {
  while (!text.empty() && platform::IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

// The low 8 bits of a leading decimal integer.
std::uint8_t ReadLowByte(std::string_view text) {
  return static_cast<std::uint8_t>(static_cast<std::uint64_t>(platform::LeadingInteger64(text)) &
                                   0xFF);
}

// A leading decimal number (digits, point, exponent); 0 without one, or when out of range.
template <typename Number>
Number ReadNumber(std::string_view text) {
  return platform::LeadingDecimal<Number>(SkipBlanks(text));
}

// A decimal number truncated toward zero to 32 bits; saturates instead of overflowing.
std::int32_t ReadTruncatedInt32(std::string_view text) {
  const double value = std::trunc(ReadNumber<double>(text));
  constexpr double kMin = std::numeric_limits<std::int32_t>::min();
  constexpr double kMax = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(value < kMin ? kMin : value > kMax ? kMax : value);
}

char FirstCharacter(std::string_view text) {
  return text.empty() ? '\0' : text.front();
}

void StorePixelFormat(FrameInfo& info, std::string_view value) {
  std::memset(info.pixelFormat, 0, sizeof info.pixelFormat);
  const std::size_t length = std::min(value.size(), sizeof info.pixelFormat - 1);
  std::memcpy(info.pixelFormat, value.data(), length);
}

void StoreAspectRatio(FrameInfo& info, std::string_view line, std::string_view value) {
  info.aspectNumerator = platform::LeadingInteger(value);
  const std::size_t colon = line.find(':');
  if (colon != std::string_view::npos)
    info.aspectDenominator = platform::LeadingInteger(line.substr(colon + 1));
}

void ApplyKeyValues(FrameParseState& state, std::string_view line, const KeyValues& values) {
  FrameRecord& record = state.record;
  FrameInfo& info = state.info;
  for (int key = 0; key < kKeyCount; ++key) {
    if (!values[key]) continue;
    const std::string_view value = *values[key];
    switch (key) {
      case kKeyFrame:
        record.keyFrame = ReadLowByte(value);
        break;
      case kPictType:
        record.pictType = FirstCharacter(value);
        break;
      case kPktPos:
        record.position = platform::LeadingInteger64(value);
        break;
      case kPktSize:
        record.size = ReadTruncatedInt32(value);
        break;
      case kInterlaced:
        info.interlaced = ReadLowByte(value);
        break;
      case kPktDurationTime:
      case kDurationTime:
        info.frameDuration = ReadNumber<float>(value);
        break;
      case kTopFieldFirst:
        info.topFieldFirst = ReadLowByte(value);
        break;
      case kMediaType:
        info.mediaType = static_cast<std::uint8_t>(FirstCharacter(value));
        break;
      case kPixFmt:
        StorePixelFormat(info, value);
        break;
      case kWidth:
        info.width = platform::LeadingInteger(value);
        break;
      case kHeight:
        info.height = platform::LeadingInteger(value);
        break;
      case kSampleAspectRatio:
        StoreAspectRatio(info, line, value);
        break;
      case kBestEffortTime:
        info.time = ReadNumber<double>(value);
        info.hasTime = !value.empty() && value != "N/A";
        break;
    }
  }
}

// Feeds one video frame to the measurement of the first GOP; prints the GOP lines and, in GOP
// mode, asks for the stop once the key frame that closes the GOP arrives.
void MeasureGop(FrameParseState& state, const FrameParseHooks& hooks) {
  GopState& gop = state.gop;
  if (!gop.measuring || gop.counter >= kGopMaxLetters) return;
  gop.pattern.push_back(state.record.pictType);
  if (gop.counter > 0 && state.record.keyFrame != 0) {
    ++gop.counter;
    if (hooks.appendLog) {
      hooks.appendLog(GopPatternLine(gop.pattern));
      hooks.appendLog(GopSizeLine(gop.counter - 1));
    }
    gop.measuring = false;
    if (state.gopMode && hooks.requestStop) hooks.requestStop();
  } else {
    ++gop.counter;
  }
}

void CopyStreamDescription(IndexHeader& header, const FrameInfo& info) {
  header.frameDuration = info.frameDuration;
  header.interlaced = info.interlaced;
  header.topFieldFirst = info.topFieldFirst;
  std::memset(header.pixelFormat, 0, sizeof header.pixelFormat);
  std::memcpy(header.pixelFormat, info.pixelFormat,
              strnlen(info.pixelFormat, sizeof info.pixelFormat));
  header.width = info.width;
  header.height = info.height;
  header.mediaType = info.mediaType;
  header.aspectNumerator = info.aspectNumerator;
  header.aspectDenominator = info.aspectDenominator;
  if (info.frameDuration != 0) header.frameRate = 1.0f / info.frameDuration;
}

void EndFrame(FrameParseState& state, const FrameParseHooks& hooks) {
  const bool video = state.info.mediaType == 'v';
  if (video) {
    if (hooks.writeRecord) hooks.writeRecord(state.record);
    ++state.header.frameCount;
    MeasureGop(state, hooks);
  }
  if (video && (state.header.frameCount == 2 || state.header.frameCount == 3)) {
    CopyStreamDescription(state.header, state.info);
  }
}

}  // namespace

void FrameParseState::Reset() {
  header = IndexHeader{};
  record = FrameRecord{};
  info = FrameInfo{};
  gop = GopState{};
  gop.pattern.reserve(kGopMaxLetters);
}

void ParseFrameLine(FrameParseState& state, std::string_view line, const FrameParseHooks& hooks) {
  if (line.find("[FRAME]") != std::string_view::npos) {
    state.record = FrameRecord{};
    state.info = FrameInfo{};
  }
  ApplyKeyValues(state, line, FindKeyValues(line));
  if (line.find("[/FRAME]") != std::string_view::npos) EndFrame(state, hooks);
  state.header.totalDuration = static_cast<double>(state.header.frameDuration) *
                               static_cast<double>(state.header.frameCount);
}

std::string GopPatternLine(std::string_view pattern) {
  // A %s pattern ends at its first NUL (a video frame without a picture type).
  pattern = pattern.substr(0, pattern.find('\0'));
  constexpr std::string_view kPrefix = "GOP: ";
  constexpr std::string_view kEnd = "\r\n";
  constexpr std::string_view kGap = "...";
  constexpr std::size_t kRoom = kGopLineSize - 1 - kPrefix.size() - kEnd.size();
  std::string line(kPrefix);
  if (pattern.size() <= kRoom) {
    line += pattern;
  } else {
    line += pattern.substr(0, kRoom - kGap.size() - 1);
    line += kGap;
    line += pattern.back();
  }
  line += kEnd;
  return line;
}

std::string GopSizeLine(int size) {
  return "GOP SIZE: " + std::to_string(size) + "\r\n";
}

}  // namespace vexlo::analysis
