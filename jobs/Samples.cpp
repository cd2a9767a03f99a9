#include "jobs/Samples.h"

#include <algorithm>
#include <cstdlib>
#include <cmath>
#include <cstdio>
#include <vector>

#include "process/CommandLineBuilder.h"
#include "process/OutputLines.h"

namespace vexlo::jobs {

namespace {

constexpr double kShare = 0.04;  // of the source, in all the spans together
constexpr double kShortestSpan = 1.5;
constexpr double kLongestSpan = 4.0;
constexpr int kFewestSpans = 3;
constexpr int kMostSpans = 6;

}  // namespace

SamplePlan PlanSamples(double sourceSeconds) {
  SamplePlan plan;
  plan.seconds = std::max(sourceSeconds, 0.0);
  if (!(sourceSeconds > 0)) return plan;
  const int count =
      std::clamp(static_cast<int>(std::lround(sourceSeconds / 40)), kFewestSpans, kMostSpans);
  const double length =
      std::clamp(sourceSeconds * kShare / count, kShortestSpan, kLongestSpan);
  if (count * length >= sourceSeconds) return plan;
  for (int i = 0; i < count; ++i) {
    const double centre = sourceSeconds * (i + 0.5) / count;
    const double start = std::clamp(centre - length / 2, 0.0, sourceSeconds - length);
    plan.spans.push_back({std::round(start * 1000) / 1000, length});
  }
  plan.seconds = count * length;
  return plan;
}

namespace {

// One statistics line of the encoder's for a frame type ('I', 'P', 'B'): x264's "frame P:117
// Avg QP:30.89  size:   717" (bytes per frame) or x265's "frame P:     26, Avg QP:25.83  kb/s:
// 231.94" (a frame's bits times the frame rate, in thousands).
struct FrameType {
  double count = 0;
  double value = 0;
  bool rate = false;  // value is x265's kb/s
};

std::optional<FrameType> FrameTypeStatistics(std::string_view lines, char type) {
  const std::string marker = std::string("frame ") + type + ":";
  const auto at = lines.find(marker);
  if (at == std::string_view::npos) return std::nullopt;
  const std::string_view line = lines.substr(at, lines.find('\n', at) - at);
  FrameType frame;
  auto figure = line.find("size:");
  if (figure == std::string_view::npos) {
    figure = line.find("kb/s:");
    frame.rate = true;
  }
  if (figure == std::string_view::npos) return std::nullopt;
  frame.count = std::strtod(std::string(line.substr(marker.size())).c_str(), nullptr);
  frame.value = std::strtod(std::string(line.substr(figure + 5)).c_str(), nullptr);
  if (!(frame.count > 0) || !(frame.value > 0)) return std::nullopt;
  return frame;
}

}  // namespace

std::optional<double> PredictedBytes(std::string_view encoderLines, double sampleSeconds,
                                     double scale, int gop, int spans) {
  std::optional<FrameType> types[3];
  double sampled = 0;
  for (int i = 0; i < 3; ++i) {
    types[i] = FrameTypeStatistics(encoderLines, "IPB"[i]);
    if (types[i]) sampled += types[i]->count;
  }
  if (!types[0] || gop <= 0 || !(scale > 0)) return std::nullopt;
  // x265's kb/s per frame type is a frame's bits times the frame rate over 1000.
  const double framesPerSecond = sampleSeconds > 0 ? sampled / sampleSeconds : 0;
  for (auto& type : types) {
    if (!type || !type->rate) continue;
    if (!(framesPerSecond > 0)) return std::nullopt;
    type->value = type->value * 1000 / 8 / framesPerSecond;
  }
  const FrameType& keys = *types[0];
  double others = 0, otherBytes = 0;
  for (const auto& type : {types[1], types[2]}) {
    if (type) {
      others += type->count;
      otherBytes += type->count * type->value;
    }
  }
  const double frames = sampled * scale;
  // Key frames of the samples' own beyond the one each span's start may have forced.
  const double ownKeys = std::max(keys.count - spans, 0.0) / sampled;
  const double wholeKeys = std::min(frames * std::max(1.0 / gop, ownKeys), frames);
  const double other = others > 0 ? otherBytes / others : keys.value;
  return wholeKeys * keys.value + (frames - wholeKeys) * other;
}

int GopOf(std::string_view commandLine) {
  const int gop = std::atoi(std::string(process::LastOptionValue(commandLine, " -g ")).c_str());
  return gop > 0 ? gop : 250;
}

std::string SecondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", std::max(seconds, 0.0));
  return text;
}

std::string SourceFactsCommandLine(std::string_view programDir, std::string_view source) {
  process::CommandLineBuilder line(programDir, process::kProberTool);
  line.Add(" -v error -select_streams v:0 -show_entries format=start_time,duration:stream=width"
           " -of default=noprint_wrappers=1 ")
      .AddQuoted(source);
  return line.Text();
}

SourceFacts ReadSourceFacts(std::string_view proberLines) {
  SourceFacts facts;
  bool widthSeen = false;  // a stream listed again under its program repeats its width
  process::ForEachLine(proberLines, [&](std::string_view line) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return;
    const std::string_view key = line.substr(0, equals);
    const std::string value(line.substr(equals + 1));
    // "N/A" reads as 0, which is "unknown" for each of them.
    if (key == "duration") facts.seconds = std::max(std::strtod(value.c_str(), nullptr), 0.0);
    if (key == "start_time") facts.startTime = std::strtod(value.c_str(), nullptr);
    if (key == "width" && !widthSeen) {
      facts.width = std::max(std::atoi(value.c_str()), 0);
      widthSeen = true;
    }
  });
  if (!std::isfinite(facts.seconds)) facts.seconds = 0;
  if (!std::isfinite(facts.startTime)) facts.startTime = 0;
  return facts;
}

namespace {

// FFmpeg seeks an input 3/23 s before its -ss when the stream may reorder frames and its demuxer
// seeks by decoding times; a start this far after the key frame still lands on it.
constexpr double kAfterKeyFrame = 0.2;

// The latest start that keeps span `i` inside its own share of the source.
double LatestStart(const SamplePlan& plan, std::size_t i, double sourceSeconds) {
  const double shareEnd = sourceSeconds * static_cast<double>(i + 1) /
                          static_cast<double>(plan.spans.size());
  return std::max(shareEnd - plan.spans[i].length - kAfterKeyFrame, plan.spans[i].start);
}

}  // namespace

std::string KeyFrameCommandLine(std::string_view programDir, std::string_view source,
                                const SamplePlan& plan, double sourceSeconds, double startTime) {
  // A seek lands on the key frame before its point: points from the span's start onwards find
  // the key frame before it and those after it, as far as the span still fits in its share.
  constexpr double kAhead[] = {0, 1, 2, 4, 8, 16};
  std::string intervals;
  for (std::size_t i = 0; i < plan.spans.size(); ++i) {
    const double latest = LatestStart(plan, i, sourceSeconds);
    for (const double ahead : kAhead) {
      const double point = std::min(plan.spans[i].start + ahead, latest);
      intervals += (intervals.empty() ? "" : ",") + SecondsText(startTime + point) + "%+#1";
      if (point >= latest) break;
    }
  }
  process::CommandLineBuilder line(programDir, process::kProberTool);
  line.Add(" -v error -select_streams v:0 -show_entries packet=pts_time,flags -of csv=p=0"
           " -read_intervals " + intervals + " ")
      .AddQuoted(source);
  return line.Text();
}

void StartAtKeyFrames(SamplePlan& plan, double sourceSeconds, double startTime,
                      std::string_view packets) {
  std::vector<double> keys;
  process::ForEachLine(packets, [&](std::string_view packet) {
    // "16.160000,K_": the time, then the flags
    const std::size_t comma = packet.find(',');
    if (comma == std::string_view::npos || !packet.substr(comma + 1).starts_with('K')) return;
    const std::string text(packet);
    char* last = nullptr;
    const double time = std::strtod(text.c_str(), &last);
    if (last != text.c_str() && std::isfinite(time)) keys.push_back(time - startTime);
  });
  const std::size_t count = plan.spans.size();
  for (std::size_t i = 0; i < count; ++i) {
    SampleSpan& span = plan.spans[i];
    const double shareStart = sourceSeconds * static_cast<double>(i) / static_cast<double>(count);
    const double latest = LatestStart(plan, i, sourceSeconds);
    // The key frame nearest to where the span was planned, so that the samples stay spread
    // evenly (a source whose first seconds differ from the rest is not sampled there).
    double best = -1;
    for (const double key : keys) {
      if (key < shareStart || key + kAfterKeyFrame > latest) continue;
      if (best < 0 || std::abs(key + kAfterKeyFrame - span.start) <
                          std::abs(best + kAfterKeyFrame - span.start)) {
        best = key;
      }
    }
    if (best >= 0) span.start = std::round((best + kAfterKeyFrame) * 1000) / 1000;
  }
}

std::string SampleCutCommandLine(std::string_view programDir, std::string_view source,
                                 const SamplePlan& plan, std::string_view reference, int width) {
  process::CommandLineBuilder line(programDir);
  std::string join;
  for (std::size_t i = 0; i < plan.spans.size(); ++i) {
    line.Add(" -ss " + SecondsText(plan.spans[i].start) + " -t " +
             SecondsText(plan.spans[i].length));
    line.Add(" -i ").AddQuoted(source);
    join += "[" + std::to_string(i) + ":v:0]";
  }
  join += "concat=n=" + std::to_string(plan.spans.size()) + ":v=1:a=0[samples]";
  // ffvhuff decodes about four times as fast as FFV1, and every position's encode and
  // measurement decode the reference again.
  const bool evenWidth = width > 0 && width % 2 == 0;
  line.Add(" -filter_complex " + join + " -map [samples] -an -sn -c:v " +
           (evenWidth ? "ffvhuff" : "ffv1") + " -y");
  line.Add(" ").AddQuoted(reference);
  return line.Text();
}

}  // namespace vexlo::jobs
