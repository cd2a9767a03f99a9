#include "app/EstimateCommand.h"

#include <cstdio>
#include <filesystem>

#include "jobs/Batch.h"
#include "jobs/BatchPlan.h"
#include "jobs/QualityMeasure.h"
#include "platform/Paths.h"
#include "platform/StopRequests.h"

namespace vexlo::app {

namespace {

constexpr int kStopped = 130;

// The lines of a list of sources, or nothing when it cannot be read.
std::optional<std::vector<std::string>> ListedSources(const std::string& path) {
  std::FILE* file = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
  if (file == nullptr) return std::nullopt;
  std::string text;
  char block[4096];
  for (std::size_t got = 0; (got = std::fread(block, 1, sizeof block, file)) > 0;) {
    text.append(block, got);
  }
  const bool failed = std::ferror(file) != 0;
  if (file != stdin) std::fclose(file);
  if (failed) return std::nullopt;
  return jobs::SourceListLines(text);
}

void LogToStandardError(std::string_view line) {
  std::string text(line);
  if (text.ends_with("\r\n")) text.erase(text.size() - 2, 1);
  std::fputs(text.c_str(), stderr);
}

// One source's prediction printed; false when it could not be made.
bool EstimateOne(const EstimateJob& job, const std::string& source, jobs::BatchStop& stop) {
  const std::string path = platform::FromWorkingDirectory(source, job.workingDirectory);
  if (std::string refusal = PathRefusal(path, false); !refusal.empty()) {
    std::fprintf(stderr, "vexlo: %s\n", refusal.c_str());
    return false;
  }
  const jobs::SampleRequest request{path, job.settings, platform::ExecutableDirectory(),
                                    LogToStandardError};
  const double target = job.settings.targetSsim;
  const jobs::SampleOutcome outcome = target > 0 ? jobs::SearchTarget(request, target, stop.watch())
                                                 : jobs::EstimateEncode(request, stop.watch());
  if (!outcome.estimate) {
    if (!outcome.stopped) {
      std::fprintf(stderr, "vexlo: %s: %s\n", OneLine(source).c_str(),
                   OneLine(outcome.failure).c_str());
    }
    return false;
  }
  std::string line = job.json ? jobs::EstimateJson(source, *outcome.estimate)
                              : jobs::EstimateText(source, *outcome.estimate);
  if (target > 0) {
    const jobs::TargetRecord record = jobs::RecordOf(target, outcome);
    line = job.json ? line.substr(0, line.size() - 1) + ",\"quality_target\":" +
                          jobs::TargetJson(record) + "}"
                    : line + "; " + jobs::TargetText(record);
  }
  std::fprintf(stdout, "%s\n", line.c_str());
  std::fflush(stdout);
  return true;
}

}  // namespace

int RunEstimateCommand(const EstimateJob& job) {
  jobs::BatchStop stop;
  const platform::StopRequests requests([&stop] { stop.Request(); });
  std::vector<std::string> sources = job.sources;
  if (!job.sourcesFrom.empty()) {
    const auto listed = ListedSources(job.sourcesFrom);
    if (!listed) {
      std::fprintf(stderr, "vexlo: cannot read the list of sources %s\n",
                   OneLine(job.sourcesFrom).c_str());
      return 1;
    }
    sources.insert(sources.end(), listed->begin(), listed->end());
  }
  int status = 0;
  for (const std::string& source : sources) {
    if (!EstimateOne(job, source, stop)) status = 1;
    if (stop.requested()) return kStopped;
  }
  return status;
}

std::optional<int> ChooseTargetPosition(OptionJob& job, jobs::TargetRecord& record) {
  jobs::BatchStop stop;
  const platform::StopRequests requests([&stop] { stop.Request(); });
  const jobs::SampleOutcome outcome =
      jobs::SearchTarget({job.source, SettingsOf(job), platform::ExecutableDirectory(),
                          LogToStandardError},
                         job.targetSsim, stop.watch());
  if (outcome.stopped || stop.requested()) {
    std::fputs("vexlo: the search for the target SSIM was stopped\n", stderr);
    return kStopped;
  }
  if (!outcome.estimate) {
    std::fprintf(stderr, "vexlo: no CRF chosen for the target SSIM: %s\n",
                 OneLine(outcome.failure).c_str());
    return 1;
  }
  record = jobs::RecordOf(job.targetSsim, outcome);
  job.crf = record.position;
  std::fprintf(stderr, "##### TARGET: %s ######\n", jobs::TargetText(record).c_str());
  return std::nullopt;
}

void ReportTargetEncode(const OptionJob& job, jobs::TargetRecord record, double encodeSeconds) {
  jobs::BatchStop stop;
  const platform::StopRequests requests([&stop] { stop.Request(); });
  jobs::QualityRequest request{job.source, job.destination, job.source, job.destination,
                               job.fps,    job.resize,      job.deinterlace,
                               platform::ExecutableDirectory()};
  const jobs::QualityResult quality = jobs::MeasureQuality(request, stop.watch());
  if (quality.figures) record.measuredSsim = quality.figures->ssim;
  std::error_code error;
  const auto bytes = std::filesystem::file_size(job.destination, error);
  if (!error) record.measuredBytes = static_cast<double>(bytes);
  record.encodeSeconds = encodeSeconds;
  std::fprintf(stderr, "##### TARGET: %s: %s ######\n", OneLine(job.destination).c_str(),
               jobs::TargetText(record).c_str());
}

}  // namespace vexlo::app
