#include "analysis/InputReport.h"

#include <charconv>

#include "process/OutputLines.h"

namespace vexlo::analysis {

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return text;
}

// A whole positive number that is all of `text`.
std::optional<int> Whole(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value <= 0) return std::nullopt;
  return value;
}

// The comma-separated pieces of a stream line after "Video: ": the first piece whose first word
// is "320x240" gives the size, "25 fps" the rate (a whole one only: "23.98 fps" is rounded).
std::optional<SourceVideo> ReadVideoStream(std::string_view description) {
  SourceVideo video;
  std::optional<int> rate;
  while (!description.empty()) {
    const auto comma = description.find(", ");
    const std::string_view piece = Trimmed(description.substr(0, comma));
    description.remove_prefix(comma == std::string_view::npos ? description.size() : comma + 2);
    const auto blank = piece.find(' ');
    const std::string_view first = piece.substr(0, blank);
    const std::string_view second =
        blank == std::string_view::npos ? std::string_view() : piece.substr(blank + 1);
    if (const auto x = first.find('x'); x != std::string_view::npos && video.size.width == 0) {
      const auto width = Whole(first.substr(0, x)), height = Whole(first.substr(x + 1));
      if (width && height) video.size = {*width, *height};
    }
    if (second == "fps") rate = Whole(first);
  }
  if (video.size.width == 0 || !rate) return std::nullopt;
  video.frameRate = *rate;
  return video;
}

}  // namespace

void InputReport::Read(std::string_view line) {
  const std::string_view text = Trimmed(line);
  switch (section_) {
    case Section::kBefore:
      if (StartsWith(text, "Input #0,")) section_ = Section::kFirstInput;
      return;
    case Section::kAfter:
      return;
    case Section::kFirstInput:
      break;
  }
  if (StartsWith(text, "Input #") || StartsWith(text, "Output #") ||
      StartsWith(text, "Stream mapping:")) {
    section_ = Section::kAfter;
    return;
  }
  if (StartsWith(text, "Duration:")) {
    durationMs_ = process::ReadOutputTimes(text).durationMs;
    return;
  }
  if (!StartsWith(text, "Stream #0:")) return;
  if (++streams_ > 1) return;
  constexpr std::string_view kVideo = ": Video: ";
  if (const auto at = text.find(kVideo); at != std::string_view::npos) {
    video_ = ReadVideoStream(text.substr(at + kVideo.size()));
  }
}

std::optional<SourceVideo> InputReport::Video() const {
  if (streams_ != 1 || !video_ || !durationMs_ || *durationMs_ <= 0) return std::nullopt;
  SourceVideo video = *video_;
  video.seconds = static_cast<double>(*durationMs_) / 1000;
  return video;
}

}  // namespace vexlo::analysis
