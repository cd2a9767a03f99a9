#include "analysis/OutputLength.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "analysis/ProbeText.h"
#include "process/CommandLineBuilder.h"
#include "process/OutputLines.h"
#include "process/ToolRun.h"

namespace vexlo::analysis {

namespace {

// An output may end this much before its source and still count as whole: encoders end on their
// last frame's start, a frame-rate change drops a frame or two, and audio ends on a packet.
constexpr double kShortFraction = 0.02;
constexpr std::int64_t kShortMinimumMs = 1000;

// The value of "key=" on one of the report's lines; empty when the line has another key.
std::string_view ValueOf(std::string_view line, std::string_view key) {
  if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != '=') {
    return {};
  }
  return line.substr(key.size() + 1);
}

}  // namespace

std::string OutputLengthCommandLine(std::string_view programDir, std::string_view path) {
  return process::CommandLineBuilder(programDir, process::kProberTool)
      .Add(
          " -v error -count_packets -show_entries"
          " stream=codec_type,nb_read_packets,avg_frame_rate,r_frame_rate:format=duration ")
      .AddQuoted(path)
      .Text();
}

std::optional<std::int64_t> ReadOutputLength(std::string_view report) {
  struct Block {
    std::string_view type, packets, averageRate, baseRate, duration;
  };
  Block block, video, format;
  bool videoFound = false;
  while (!report.empty()) {
    const std::string_view line = probe_text::TakeLine(report);
    if (line == "[STREAM]" || line == "[FORMAT]") {
      block = {};
    } else if (line == "[/STREAM]" && block.type == "video" && !videoFound) {
      video = block;  // the first video stream is the one that counts
      videoFound = true;
    } else if (line == "[/FORMAT]") {
      format = block;
    } else {
      for (auto [key, field] : {std::pair{"codec_type", &Block::type},
                                {"nb_read_packets", &Block::packets},
                                {"avg_frame_rate", &Block::averageRate},
                                {"r_frame_rate", &Block::baseRate},
                                {"duration", &Block::duration}}) {
        if (const auto value = ValueOf(line, key); !value.empty()) block.*field = value;
      }
    }
  }
  std::optional<double> seconds = probe_text::Positive(format.duration);
  const auto packets = probe_text::Positive(video.packets);
  auto rate = probe_text::Rate(video.averageRate);
  if (!rate) rate = probe_text::Rate(video.baseRate);
  if (!seconds && packets && rate) seconds = *packets / *rate;
  if (!seconds) return std::nullopt;
  return static_cast<std::int64_t>(std::llround(*seconds * 1000));
}

std::string StreamLengthCommandLine(std::string_view programDir, std::string_view path) {
  return process::CommandLineBuilder(programDir, process::kProberTool)
      .Add(" -v error -show_entries stream=codec_type,duration:stream_tags=DURATION ")
      .AddQuoted(path)
      .Text();
}

std::optional<std::int64_t> ReadStreamLength(std::string_view report, std::string_view type) {
  std::string_view blockType, duration, tag;
  while (!report.empty()) {
    const std::string_view line = probe_text::TakeLine(report);
    if (line == "[STREAM]") {
      blockType = duration = tag = {};
    } else if (line == "[/STREAM]" && blockType == type) {
      if (const auto seconds = probe_text::Positive(duration)) {
        return static_cast<std::int64_t>(std::llround(*seconds * 1000));
      }
      // "00:00:13.000000000", as a clock time.
      if (const auto ms = process::ReadClockMilliseconds(tag); ms && *ms > 0) return ms;
      return std::nullopt;
    } else if (const auto value = ValueOf(line, "codec_type"); !value.empty()) {
      blockType = value;
    } else if (const auto value = ValueOf(line, "duration"); !value.empty()) {
      duration = value;
    } else if (const auto value = ValueOf(line, "TAG:DURATION"); !value.empty()) {
      tag = value;
    }
  }
  return std::nullopt;
}

std::optional<std::int64_t> ShortOfSource(std::int64_t sourceMs, std::int64_t reachedMs,
                                          const std::string& programDir,
                                          const std::string& source, std::string_view streamType) {
  if (!EndsShort(sourceMs, reachedMs)) return std::nullopt;
  std::string report;
  const process::ToolEnd end =
      process::RunTool(StreamLengthCommandLine(programDir, source), programDir,
                       [&report](std::string_view line) {
                         report.append(line).push_back('\n');
                         return true;
                       });
  const auto streamMs = end.finished() ? ReadStreamLength(report, streamType) : std::nullopt;
  if (!streamMs) return sourceMs;
  if (!EndsShort(*streamMs, reachedMs)) return std::nullopt;
  return streamMs;
}

bool EndsShort(std::int64_t sourceMs, std::int64_t reachedMs) {
  if (sourceMs <= 0) return false;
  const std::int64_t missing = sourceMs - std::max<std::int64_t>(reachedMs, 0);
  return missing > kShortMinimumMs && static_cast<double>(missing) > kShortFraction * sourceMs;
}

std::string MediaTimeText(std::int64_t ms) {
  ms = std::max<std::int64_t>(ms, 0);
  const long long hundredths = (ms / 10) % 100, seconds = ms / 1000 % 60, minutes = ms / 60000 % 60,
                  hours = ms / 3600000;
  char text[48];
  if (hours > 0) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%02lld", hours, minutes, seconds,
                  hundredths);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld.%02lld", minutes, seconds, hundredths);
  }
  return text;
}

std::string ShortOutputText(std::int64_t sourceMs, std::int64_t reachedMs) {
  return "The output ends at " + MediaTimeText(reachedMs) + " of the source's " +
         MediaTimeText(sourceMs) + " (the source may be damaged or cut short)";
}

std::string ShortOutputWarning(std::int64_t sourceMs, std::int64_t reachedMs) {
  return "##### WARNING: " + ShortOutputText(sourceMs, reachedMs) + " ######\r\n";
}

}  // namespace vexlo::analysis
