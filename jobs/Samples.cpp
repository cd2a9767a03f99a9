#include "jobs/Samples.h"

#include <algorithm>
#include <cstdlib>
#include <cmath>
#include <cstdio>

#include "process/CommandLineBuilder.h"

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

// The count and mean size of x264's statistics line for `type` ('I', 'P', 'B'): "frame P:117
// Avg QP:30.89  size:   717"; nothing without one.
std::optional<std::pair<double, double>> FrameTypeStatistics(std::string_view lines, char type) {
  const std::string marker = std::string("frame ") + type + ":";
  const auto at = lines.find(marker);
  if (at == std::string_view::npos) return std::nullopt;
  const std::string_view line = lines.substr(at, lines.find('\n', at) - at);
  const auto size = line.find("size:");
  if (size == std::string_view::npos) return std::nullopt;
  const double count = std::strtod(std::string(line.substr(marker.size())).c_str(), nullptr);
  const double bytes = std::strtod(std::string(line.substr(size + 5)).c_str(), nullptr);
  if (!(count > 0) || !(bytes > 0)) return std::nullopt;
  return std::pair{count, bytes};
}

}  // namespace

std::optional<double> PredictedBytes(std::string_view encoderLines, double scale, int gop,
                                     int spans) {
  const auto keys = FrameTypeStatistics(encoderLines, 'I');
  if (!keys || gop <= 0 || !(scale > 0)) return std::nullopt;
  double others = 0, otherBytes = 0;
  for (const char type : {'P', 'B'}) {
    if (const auto frame = FrameTypeStatistics(encoderLines, type)) {
      others += frame->first;
      otherBytes += frame->first * frame->second;
    }
  }
  const double sampled = keys->first + others, frames = sampled * scale;
  // Key frames of the samples' own beyond the one each span's start may have forced.
  const double ownKeys = std::max(keys->first - spans, 0.0) / sampled;
  const double wholeKeys = std::min(frames * std::max(1.0 / gop, ownKeys), frames);
  const double other = others > 0 ? otherBytes / others : keys->second;
  return wholeKeys * keys->second + (frames - wholeKeys) * other;
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

std::string SampleCutCommandLine(std::string_view programDir, std::string_view source,
                                 const SamplePlan& plan, std::string_view reference) {
  process::CommandLineBuilder line(programDir);
  std::string join;
  for (std::size_t i = 0; i < plan.spans.size(); ++i) {
    line.Add(" -ss " + SecondsText(plan.spans[i].start) + " -t " +
             SecondsText(plan.spans[i].length));
    line.Add(" -i ").AddQuoted(source);
    join += "[" + std::to_string(i) + ":v:0]";
  }
  join += "concat=n=" + std::to_string(plan.spans.size()) + ":v=1:a=0[samples]";
  line.Add(" -filter_complex " + join + " -map [samples] -an -sn -c:v ffv1 -y");
  line.Add(" ").AddQuoted(reference);
  return line.Text();
}

}  // namespace vexlo::jobs
