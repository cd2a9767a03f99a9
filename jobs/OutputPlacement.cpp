#include "jobs/OutputPlacement.h"

#include <string_view>

#include "analysis/OutputLength.h"
#include "jobs/BatchPlan.h"
#include "jobs/ConformanceCheck.h"
#include "platform/FileOperations.h"
#include "platform/Paths.h"
#include "platform/SystemError.h"
#include "process/ToolRun.h"

namespace vexlo::jobs {

namespace {

Placement Failed(const OutputFiles& files, const std::string& reason) {
  return {process::JobOutcome::kFailed, reason + KeepIncomplete(files), std::nullopt, std::nullopt};
}

Placement Place(const OutputFiles& files, std::string reason) {
  if (const int failed = platform::RenameReplacing(files.temporaryPath, files.outputPath)) {
    return Failed(files, "cannot rename the output into place: " + platform::ErrorText(failed));
  }
  return {process::JobOutcome::kFinished, std::move(reason), std::nullopt, std::nullopt};
}

// Compares the read-back with the request: an output short of frames is not placed.
Placement PlaceChecked(const OutputFiles& files, const OutputCheck& check,
                       const analysis::ConformanceRequest& request,
                       const analysis::OutputVideo& output, std::int64_t outputMs,
                       const platform::UniqueFd* stop) {
  const ConformanceRun run = CompareWithSource(request, check.programDir, check.sourcePath, output,
                                               check.aids.reported, stop);
  if (run.outcome == process::JobOutcome::kCancelled) {
    [[maybe_unused]] const int removed = platform::DeleteFile(files.temporaryPath);
    return {process::JobOutcome::kCancelled, {}, std::nullopt, std::nullopt};
  }
  const bool lost = run.report.framesShort();
  Placement placement = lost ? Failed(files, analysis::FramesText(*run.report.frames))
                             : Place(files, run.outcome == process::JobOutcome::kFinished
                                                ? std::string()
                                                : "not checked against its request: " + run.reason);
  placement.outputSeconds = static_cast<double>(outputMs) / 1000;
  if (run.outcome == process::JobOutcome::kFinished) placement.conformance = run.report;
  return placement;
}

}  // namespace

std::string KeepIncomplete(const OutputFiles& files) {
  const bool keep = files.mayKeep && platform::LookAt(files.temporaryPath).size > 0;
  if (keep && platform::RenameReplacing(files.temporaryPath, files.incompletePath) == 0) {
    return "; what was written is kept as " + IncompleteName(files.shownName);
  }
  [[maybe_unused]] const int removed = platform::DeleteFile(files.temporaryPath);
  return {};
}

Placement CheckAndPlace(const OutputFiles& files, const OutputCheck& check,
                        const platform::UniqueFd* stop,
                        const analysis::ConformanceRequest* request) {
  if (!check.sourceMs) return Place(files, "not checked: the source has no duration");
  const ReadBack back = ReadOutputBack(check.programDir, files.temporaryPath,
                                       check.audio ? std::nullopt : check.aids.raw, request, stop);
  if (back.end.outcome == process::JobOutcome::kCancelled) {
    [[maybe_unused]] const int removed = platform::DeleteFile(files.temporaryPath);
    return {process::JobOutcome::kCancelled, {}, std::nullopt, std::nullopt};
  }
  if (!back.end.finished()) {
    return Failed(files, "the output cannot be read back: " + back.end.ReasonText());
  }
  const std::optional<std::int64_t> outputMs = back.lengthMs;
  if (!outputMs) return Failed(files, "the output cannot be read back: ffprobe.bin gives no duration");
  if (const auto shortOf = analysis::ShortOfSource(*check.sourceMs, *outputMs, check.programDir,
                                                   check.sourcePath,
                                                   check.audio ? "audio" : "video")) {
    Placement placement = Failed(files, analysis::ShortOutputText(*shortOf, *outputMs));
    placement.outputSeconds = static_cast<double>(*outputMs) / 1000;
    return placement;
  }
  if (request) return PlaceChecked(files, check, *request, back.video, *outputMs, stop);
  Placement placement = Place(files, {});
  placement.outputSeconds = static_cast<double>(*outputMs) / 1000;
  return placement;
}

}  // namespace vexlo::jobs
