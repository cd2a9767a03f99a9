#include "analysis/FrameGrab.h"

#include <cstdio>

#include "platform/Characters.h"
#include "platform/LeadingNumber.h"
#include "platform/Paths.h"
#include "process/LogTexts.h"
#include "process/CommandLineBuilder.h"

namespace vexlo::analysis {

namespace {

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
  while (!text.empty() && platform::IsSpace(text.front())) text.remove_prefix(1);
  return platform::LeadingDecimal<float>(text);
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
  process::CommandLineBuilder line(programDir);
  line.Add(" -i ").AddQuoted(source).Add(" -ss " + TwoDecimals(seconds));
  if (deinterlace) line.AddFilter("-vf", "yadif");
  line.Add(" -t 1 -f image2 ").AddQuoted(picturePath);
  return line.Text();
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
