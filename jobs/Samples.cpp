#include "jobs/Samples.h"

#include <algorithm>
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
