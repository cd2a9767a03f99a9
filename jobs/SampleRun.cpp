#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "encode/EncodeRequest.h"
#include "encode/PngPattern.h"
#include "jobs/QualityMeasure.h"
#include "jobs/QualityTarget.h"
#include "jobs/Samples.h"
#include "platform/Processes.h"
#include "process/CommandLineBuilder.h"
#include "process/OutputLines.h"
#include "process/ToolRun.h"

// The samples' runs: the source's length, the cut into a temporary folder, and each position's
// encode and measurement; the folder goes with the run, whatever ends it.
namespace vexlo::jobs {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A folder of its own under the system's temporary folder, removed with everything in it when
// this goes.
class TemporaryFolder {
 public:
  TemporaryFolder() {
    static std::atomic<unsigned> made{0};
    std::error_code error;
    const fs::path base = fs::temp_directory_path(error);
    if (error) return;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      fs::path candidate = base / ("vexlo-samples-" + std::to_string(platform::CurrentProcessId()) +
                                   "-" + std::to_string(made++));
      if (fs::create_directory(candidate, error)) path_ = candidate.string();
    }
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string File(std::string_view name) const {
    return (fs::path(path_) / fs::path(name)).string();
  }

 private:
  std::string path_;
};

// One sampling: the folder, the reference clip and the positions measured.
class Sampling {
 public:
  Sampling(const SampleRequest& request, const platform::UniqueFd& stop)
      : request_(request), stop_(stop) {}

  // Reads the source's length and cuts the samples; false with `outcome_` told why.
  bool Prepare();
  // Encodes and measures the samples at `position`; false with `outcome_` told why.
  bool Probe(int position);
  SampleOutcome& outcome() { return outcome_; }
  Estimate EstimateOf(const ProbePoint& point) const {
    return {point, sourceSeconds_, plan_.seconds, SecondsSince(started_)};
  }

 private:
  bool Fail(std::string why, bool stopped = false) {
    outcome_.failure = std::move(why);
    outcome_.stopped = stopped;
    return false;
  }
  // Runs one tool; its output's lines go to `lines`. False with `outcome_` told why.
  bool Run(const std::string& commandLine, std::string_view what, std::string* lines = nullptr);
  void Log(const std::string& text) {
    if (request_.log) request_.log("##### " + text + " ######\r\n");
  }

  const SampleRequest& request_;
  const platform::UniqueFd& stop_;
  Clock::time_point started_ = Clock::now();
  TemporaryFolder folder_;
  SamplePlan plan_;
  double sourceSeconds_ = 0;
  std::string reference_;
  SampleOutcome outcome_;
};

bool Sampling::Run(const std::string& commandLine, std::string_view what, std::string* lines) {
  const process::ToolEnd end = process::RunTool(
      commandLine, request_.programDir,
      [lines](std::string_view line) {
        if (lines) lines->append(line).append("\n");
        return false;
      },
      stop_);
  if (end.outcome == process::JobOutcome::kCancelled) return Fail("stopped", true);
  if (end.outcome == process::JobOutcome::kFailed) {
    return Fail(std::string(what) + " failed: " + end.ReasonText());
  }
  return true;
}

bool Sampling::Prepare() {
  if (folder_.path().empty()) return Fail("cannot make a temporary folder for the samples");
  std::string lines;
  if (!Run(SourceFactsCommandLine(request_.programDir, request_.sourcePath),
           "reading the source's length", &lines)) {
    return false;
  }
  const SourceFacts facts = ReadSourceFacts(lines);
  sourceSeconds_ = facts.seconds;
  plan_ = PlanSamples(sourceSeconds_);
  if (plan_.wholeSource()) {
    reference_ = request_.sourcePath;
    Log("SAMPLES: the whole source (" + SecondsText(sourceSeconds_) + " s)");
    return true;
  }
  // Where the key frames are is only a saving: a prober that fails leaves the spans as planned.
  lines.clear();
  if (!Run(KeyFrameCommandLine(request_.programDir, request_.sourcePath, plan_,
                               sourceSeconds_, facts.startTime),
           "finding the key frames", &lines)) {
    if (outcome_.stopped) return false;
    lines.clear();
    outcome_.failure.clear();
  }
  StartAtKeyFrames(plan_, sourceSeconds_, facts.startTime, lines);
  reference_ = folder_.File("samples.mkv");
  std::string where;
  for (const SampleSpan& span : plan_.spans) where += " " + SecondsText(span.start);
  Log("SAMPLES: " + std::to_string(plan_.spans.size()) + " of " + SecondsText(plan_.spans[0].length) +
      " s of " + SecondsText(sourceSeconds_) + " s, from" + where);
  return Run(SampleCutCommandLine(request_.programDir, request_.sourcePath, plan_, reference_,
                                  facts.width),
             "cutting the samples");
}

bool Sampling::Probe(int position) {
  encode::EncoderSettings settings = request_.settings;
  settings.crf = position;
  settings.useReport = false;
  static constexpr std::string_view kExtensions[] = {"sample.h264", "sample.h265", "sample.mp4"};
  const std::string output =
      folder_.File(kExtensions[static_cast<int>(encode::OutputTypeOf(settings.outType))]);
  const encode::EncodePlan plan =
      encode::PlanVideoEncode(settings, {reference_, output, {}}, request_.programDir);
  if (!plan.start) return Fail("the samples cannot be encoded: " + plan.errorLine);
  const Clock::time_point encodeStart = Clock::now();
  std::string lines;
  if (!Run(plan.commandLine, "encoding the samples", &lines)) return false;
  // FFmpeg's own speed leaves out the start of the process and of its libraries, which a short
  // run would otherwise count several times over; the clock is the fallback.
  const double speed = LastSpeed(lines);
  const double encodeSeconds = speed > 0 ? plan_.seconds / speed : SecondsSince(encodeStart);
  std::error_code error;
  const auto bytes = fs::file_size(output, error);
  if (error) return Fail("the samples' encode wrote nothing");
  const QualityResult quality = MeasureQuality(
      {reference_, output, reference_, output, settings.fps, settings.resize, settings.deinterlace,
       request_.programDir},
      stop_);
  if (quality.stopped) return Fail("stopped", true);
  if (!quality.figures) return Fail("the samples could not be measured: " + quality.failure);
  const double scale = plan_.seconds > 0 ? sourceSeconds_ / plan_.seconds : 1;
  const double predicted =
      PredictedBytes(lines, plan_.seconds, scale, GopOf(plan.commandLine),
                     static_cast<int>(plan_.spans.size()))
          .value_or(static_cast<double>(bytes) * scale);
  ProbePoint point{position, quality.figures->ssim + kSsimMargin, predicted,
                   encodeSeconds * scale};
  outcome_.probes.push_back(point);
  char text[160];
  std::snprintf(text, sizeof text,
                "SAMPLES AT CRF %d (position %d): SSIM %.5f, predicted %.0f bytes, %.1f s",
                CrfOfPosition(position), position, point.ssim, point.predictedBytes,
                point.predictedSeconds);
  Log(text);
  [[maybe_unused]] const bool removed = fs::remove(output, error);
  return true;
}

}  // namespace

double LastSpeed(std::string_view output) {
  constexpr std::string_view kSpeed = "speed=";
  const std::size_t at = output.rfind(kSpeed);
  if (at == std::string_view::npos) return 0;
  std::size_t from = at + kSpeed.size();
  while (from < output.size() && output[from] == ' ') ++from;
  const std::string number(output.substr(from, 24));
  char* end = nullptr;
  const double speed = std::strtod(number.c_str(), &end);
  return end != number.c_str() && *end == 'x' && speed > 0 ? speed : 0;
}

std::optional<std::string> SamplingRefusal(const SampleRequest& request, bool target) {
  if (target && request.settings.gpuType != 0) {
    return "a target SSIM needs the software encoder (x264, x265); with --gpu the CRF list "
           "chooses a bit rate";
  }
  if (encode::IsPngSequenceSource(request.sourcePath)) {
    return "a numbered PNG sequence cannot be sampled";
  }
  return std::nullopt;
}

SampleOutcome EstimateEncode(const SampleRequest& request, const platform::UniqueFd& stop) {
  if (auto refusal = SamplingRefusal(request, false)) return {{}, {}, *refusal, false};
  Sampling sampling(request, stop);
  if (sampling.Prepare() && sampling.Probe(request.settings.crf)) {
    sampling.outcome().estimate = sampling.EstimateOf(sampling.outcome().probes.back());
  }
  return std::move(sampling.outcome());
}

SampleOutcome SearchTarget(const SampleRequest& request, double target,
                           const platform::UniqueFd& stop) {
  if (auto refusal = SamplingRefusal(request, true)) return {{}, {}, *refusal, false};
  Sampling sampling(request, stop);
  if (!sampling.Prepare()) return std::move(sampling.outcome());
  std::vector<ProbePoint>& probes = sampling.outcome().probes;
  while (const std::optional<int> next = NextProbe(probes, target)) {
    if (!sampling.Probe(*next)) return std::move(sampling.outcome());
  }
  const int chosen = ChosenPosition(probes, target);
  for (const ProbePoint& point : probes) {
    if (point.position == chosen) sampling.outcome().estimate = sampling.EstimateOf(point);
  }
  return std::move(sampling.outcome());
}

}  // namespace vexlo::jobs
