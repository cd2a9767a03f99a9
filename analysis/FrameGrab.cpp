#include "analysis/FrameGrab.h"

#include <charconv>
#include <cstdio>

#include "platform/Paths.h"
#include "process/LogTexts.h"
#include "process/ToolCommand.h"

namespace vexlo::analysis {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// printf's "%0.2f" of a float, of any length.
std::string TwoDecimals(float seconds) {
  const double value = seconds;
  const int length = std::snprintf(nullptr, 0, "%0.2f", value);
  std::string text(static_cast<std::size_t>(length), '\0');
  std::snprintf(text.data(), text.size() + 1, "%0.2f", value);
  return text;
}

}  // namespace

float FrameSeconds(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || (text.front() >= '\t' && text.front() <= '\r'))) {
    text.remove_prefix(1);
  }
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  const bool startsNumber =
      !text.empty() &&
      (IsDigit(text.front()) || (text.front() == '.' && text.size() > 1 && IsDigit(text[1])));
  if (!startsNumber) return 0;
  float value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc()) return 0;
  return negative ? -value : value;
}

std::string FrameTimeSuffix(float seconds) {
  // "%2.2f" and "%0.2f" differ only in padding to two characters, which "0.00" always exceeds.
  std::string suffix = "_" + TwoDecimals(seconds);
  const auto point = suffix.find('.');
  if (point != std::string::npos) suffix[point] = '_';
  return suffix;
}

std::optional<std::string> PicturePathFor(std::string_view source, float seconds) {
  if (source.empty()) return std::nullopt;
  std::string path(source.substr(0, platform::ExtensionDot(source, /*skipLeadingDot=*/true)));
  path += FrameTimeSuffix(seconds);
  path += ".BMP";
  return path;
}

std::string GrabFrameCommandLine(std::string_view programDir, std::string_view source,
                                 float seconds, bool deinterlace, std::string_view picturePath) {
  std::string line = process::QuotedToolPath(programDir, process::kEncoderTool);
  line += " -i \"";
  line += source;
  line += "\" -ss ";
  line += TwoDecimals(seconds);
  if (deinterlace) line += " -vf yadif";
  line += " -t 1 -f image2 \"";
  line += picturePath;
  line += '"';
  return line;
}

std::string GrabFrameRefusal(const std::string& source, const std::string& picturePath) {
  if (source.empty()) return std::string(process::text::kOriginNotSpecified);
  if (!platform::PathIsSafeForCommandLine(source)) return process::text::UnusablePath(source);
  if (!platform::PathIsSafeForCommandLine(picturePath)) {
    return process::text::UnusablePath(picturePath);
  }
  if (platform::SameFile(picturePath, source)) return std::string(process::text::kSameFile);
  return {};
}

}  // namespace vexlo::analysis
