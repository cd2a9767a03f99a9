#include "analysis/Conformance.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "analysis/ProbeText.h"
#include "process/CommandLineBuilder.h"
#include "process/OutputLines.h"

namespace vexlo::analysis {

namespace {

using probe_text::Positive;
using probe_text::Rate;
using probe_text::TakeLine;

// The key and value of a "key=value" line; an empty key for any other line.
std::pair<std::string_view, std::string_view> KeyValue(std::string_view line) {
  const auto equals = line.find('=');
  if (equals == std::string_view::npos || equals == 0) return {};
  return {line.substr(0, equals), line.substr(equals + 1)};
}

// A whole number of at least 0 that fits an int64; nothing otherwise.
std::optional<std::int64_t> Count(std::string_view text) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

// A picture dimension: 1 to 65535 pixels, else 0.
int Dimension(std::string_view text) {
  const auto value = Count(text);
  return value && *value > 0 && *value <= 65535 ? static_cast<int>(*value) : 0;
}

// Frames of `seconds` at `rate`, rounded; nothing when that is no sensible count.
std::optional<std::int64_t> FramesOf(double seconds, double rate) {
  const double frames = std::round(seconds * rate);
  if (!(frames >= 0) || frames > static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>(frames);
}

bool EqualLetters(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char x, char y) { return lower(x) == lower(y); });
}

// The prober's name of a profile word of the command line ("high": "High").
std::string ProfileName(std::string_view word) {
  std::string name(word);
  if (!name.empty() && name[0] >= 'a' && name[0] <= 'z') name[0] = static_cast<char>(name[0] - 32);
  return name;
}

bool ProfileMatches(std::string_view asked, std::string_view found) {
  // x264's baseline is the constrained one; the prober names it so.
  if (EqualLetters(asked, "baseline") && found == "Constrained Baseline") return true;
  return EqualLetters(asked, found);
}

template <typename T>
Compared<T> Compare(T expected, T found, bool ok) {
  return {std::move(expected), std::move(found), ok};
}

std::string SizeText(const PictureSize& size) {
  return std::to_string(size.width) + "x" + std::to_string(size.height);
}

std::string Warning(const std::string& text) {
  return "##### WARNING: " + text + " ######\r\n";
}

struct Packet {
  std::optional<std::int64_t> pts;
  bool key = false;
};

// The longest run of frames from one key frame up to the next, in the order they are shown (a
// run before the first key frame counts too). Packets come in decoding order: with B-frames an
// open GOP's leading pictures are decoded after their key frame and shown before it, so the
// order they are shown in is their timestamps'. A stream without timestamps (a raw stream) is
// taken in decoding order only when it has no B-frames; otherwise nothing.
std::optional<int> LongestRun(std::vector<Packet> packets, bool reordered) {
  const bool timed = std::all_of(packets.begin(), packets.end(),
                                 [](const Packet& packet) { return packet.pts.has_value(); });
  if (timed) {
    std::stable_sort(packets.begin(), packets.end(),
                     [](const Packet& a, const Packet& b) { return *a.pts < *b.pts; });
  } else if (reordered) {
    return std::nullopt;
  }
  int longest = 0, run = 0;
  for (std::size_t i = 0; i < packets.size(); ++i) {
    run = packets[i].key && i > 0 ? 1 : run + 1;
    longest = std::max(longest, run);
  }
  return longest;
}

// A signed whole number ("-1024"); nothing for "N/A".
std::optional<std::int64_t> Timestamp(std::string_view text) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

bool ConformanceReport::ok() const {
  return (!frames || frames->ok) && (!size || size->ok) && (!pixelFormat || pixelFormat->ok) &&
         (!profile || profile->ok) && (!longestGop || longestGop->ok);
}

bool ConformanceReport::framesShort() const {
  return frames && frames->found < frames->expected - kFrameTolerance;
}

std::string SourceVideoCommandLine(std::string_view programDir, std::string_view path) {
  return process::CommandLineBuilder(programDir, process::kProberTool)
      .Add(
          " -v error -select_streams v:0 -show_entries stream=width,height,nb_frames,duration,"
          "avg_frame_rate,r_frame_rate:stream_tags=DURATION:format=duration ")
      .AddQuoted(path)
      .Text();
}

std::string OutputVideoCommandLine(std::string_view programDir, std::string_view path,
                                   bool listPackets) {
  return process::CommandLineBuilder(programDir, process::kProberTool)
      .Add(
          " -v error -select_streams v:0 -count_packets -show_entries stream=codec_type,"
          "nb_read_packets,avg_frame_rate,r_frame_rate,width,height,pix_fmt,profile,has_b_frames:"
          "format=duration")
      .Add(listPackets ? ":packet=pts,flags " : " ")
      .AddQuoted(path)
      .Text();
}

SourceVideo ReadSourceVideo(std::string_view report) {
  SourceVideo source;
  std::optional<double> streamSeconds, tagSeconds, fileSeconds, averageRate, baseRate;
  bool inStream = false, streamDone = false;
  while (!report.empty()) {
    const std::string_view line = TakeLine(report);
    if (line == "[STREAM]") inStream = !streamDone;
    if (line == "[/STREAM]" && inStream) inStream = false, streamDone = true;
    const auto [key, value] = KeyValue(line);
    if (key == "duration" && !inStream) fileSeconds = Positive(value);
    if (!inStream) continue;
    if (key == "width") source.size.width = Dimension(value);
    if (key == "height") source.size.height = Dimension(value);
    if (key == "nb_frames") source.frames = Count(value);
    if (key == "duration") streamSeconds = Positive(value);
    if (key == "avg_frame_rate") averageRate = Rate(value);
    if (key == "r_frame_rate") baseRate = Rate(value);
    if (key == "TAG:DURATION") {
      // "00:00:13.000000000", as a clock time.
      if (const auto ms = process::ReadClockMilliseconds(value); ms && *ms > 0) {
        tagSeconds = static_cast<double>(*ms) / 1000;
      }
    }
  }
  if (source.frames && *source.frames == 0) source.frames.reset();
  source.seconds = streamSeconds ? streamSeconds : tagSeconds ? tagSeconds : fileSeconds;
  source.frameRate = averageRate ? averageRate : baseRate;
  return source;
}

OutputVideo ReadOutputVideo(std::string_view report) {
  OutputVideo output;
  std::vector<Packet> packets;
  bool inStream = false, inPacket = false, reordered = false;
  while (!report.empty()) {
    const std::string_view line = TakeLine(report);
    if (line == "[STREAM]") inStream = !output.found;
    if (line == "[/STREAM]") inStream = false;
    if (line == "[PACKET]") inPacket = true, packets.emplace_back();
    if (line == "[/PACKET]") inPacket = false;
    const auto [key, value] = KeyValue(line);
    if (inPacket && key == "pts") packets.back().pts = Timestamp(value);
    if (inPacket && key == "flags") packets.back().key = !value.empty() && value[0] == 'K';
    if (!inStream) continue;
    if (key == "has_b_frames") reordered = value != "0";
    if (key == "codec_type") output.found = value == "video";
    if (key == "nb_read_packets") output.frames = Count(value);
    if (key == "width") output.size.width = Dimension(value);
    if (key == "height") output.size.height = Dimension(value);
    if (key == "pix_fmt") output.pixelFormat = value;
    if (key == "profile") output.profile = value;
  }
  if (!packets.empty()) output.longestGop = LongestRun(std::move(packets), reordered);
  return output;
}

ConformanceReport CompareOutput(const ConformanceRequest& request, const SourceVideo& source,
                                const OutputVideo& output) {
  ConformanceReport report;
  if (!output.found) return report;
  std::optional<std::int64_t> expected;
  if (request.frameRate && source.seconds) {
    expected = FramesOf(*source.seconds, *request.frameRate);
  } else if (!request.frameRate) {
    expected = source.frames;
    if (!expected && source.seconds && source.frameRate) {
      expected = FramesOf(*source.seconds, *source.frameRate);
    }
  }
  if (request.frames && expected && output.frames) {
    report.frames = Compare(*expected, *output.frames,
                            std::llabs(*output.frames - *expected) <= kFrameTolerance);
  }
  const PictureSize size = request.size.value_or(source.size);
  if (size.width > 0 && size.height > 0 && output.size.width > 0) {
    report.size = Compare(size, output.size, size == output.size);
  }
  if (!request.pixelFormat.empty() && !output.pixelFormat.empty()) {
    report.pixelFormat =
        Compare(request.pixelFormat, output.pixelFormat, request.pixelFormat == output.pixelFormat);
  }
  if (!request.profile.empty() && !output.profile.empty()) {
    report.profile = Compare(ProfileName(request.profile), output.profile,
                             ProfileMatches(request.profile, output.profile));
  }
  if (request.longestGop > 0 && output.longestGop) {
    report.longestGop =
        Compare(request.longestGop, *output.longestGop, *output.longestGop <= request.longestGop);
  }
  return report;
}

std::string FramesText(const Compared<std::int64_t>& frames) {
  return "the output has " + std::to_string(frames.found) + " frames, " +
         std::to_string(frames.expected) + " were expected";
}

std::vector<std::string> ConformanceWarnings(const ConformanceReport& report) {
  std::vector<std::string> lines;
  if (report.frames && !report.frames->ok) lines.push_back(Warning(FramesText(*report.frames)));
  if (report.size && !report.size->ok) {
    lines.push_back(Warning("the output is " + SizeText(report.size->found) + " pixels, " +
                            SizeText(report.size->expected) + " were expected"));
  }
  if (report.pixelFormat && !report.pixelFormat->ok) {
    lines.push_back(Warning("the output's pixel format is " + report.pixelFormat->found + ", " +
                            report.pixelFormat->expected + " was expected"));
  }
  if (report.profile && !report.profile->ok) {
    lines.push_back(Warning("the output's H.264 profile is " + report.profile->found + ", " +
                            report.profile->expected + " was expected"));
  }
  if (report.longestGop && !report.longestGop->ok) {
    lines.push_back(Warning("the output's longest GOP has " +
                            std::to_string(report.longestGop->found) + " frames, at most " +
                            std::to_string(report.longestGop->expected) + " were expected"));
  }
  return lines;
}

}  // namespace vexlo::analysis
