#include "process/TimeCode.h"

#include <array>
#include <cmath>
#include <string>

#include "platform/Characters.h"
#include "platform/LeadingNumber.h"

namespace vexlo::process {

namespace {

constexpr std::size_t kParsedLength = 30;

std::string_view Trim(std::string_view text) {
  while (!text.empty() && platform::IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && platform::IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

// Keeps a field inside [0, limit], turning it to 0 and the result to -1 otherwise.
void Clamp(int& field, int limit, int& result) {
  if (field < 0 || field > limit) {
    field = 0;
    result = -1;
  }
}

}  // namespace

int TimeCode::Set(int hours, int minutes, int seconds, float frames) {
  int result = 0;
  Clamp(hours, 23, result);
  Clamp(minutes, 59, result);
  Clamp(seconds, 59, result);
  if (frames > frameRate_ + 0.1) result = -1;
  if (frames < 0.0f) {
    frames = 0.0f;
    result = -1;
  }
  const std::int64_t wholeMs =
      ((static_cast<std::int64_t>(hours) * 60 + minutes) * 60 + seconds) * 1000;
  const auto frameMs = static_cast<std::int64_t>(static_cast<double>(frames) * 1000.0 / frameRate_);
  total_ = (wholeMs + frameMs) * 1000;
  return result;
}

int TimeCode::Parse(std::string_view text) {
  std::string code(Trim(text).substr(0, kParsedLength));
  std::array<int, 4> fields{};  // frames, seconds, minutes, hours
  std::size_t field = 0;
  int pending = 0;
  for (std::size_t i = code.size(); i-- > 0;) {
    if (code[i] == ':' || code[i] == '.') {
      code[i] = '\0';
    } else if (pending == 1 || i == 0) {
      fields[field] = platform::LeadingInteger(std::string_view(code).substr(i));
      if (field == 3) break;
      code[i] = '\0';
      pending = 0;
      ++field;
    } else {
      ++pending;
    }
  }
  return Set(fields[3], fields[2], fields[1], static_cast<float>(fields[0]));
}

double TimeCode::Milliseconds() const {
  const double ms = static_cast<double>(total_) / 1000.0;
  return std::trunc(ms >= 0.0 ? ms + 0.499 : ms - 0.499);
}

}  // namespace vexlo::process
