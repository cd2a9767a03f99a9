#include "jobs/TargetItemRun.h"

#include <chrono>
#include <filesystem>

#include "jobs/TargetReport.h"

namespace vexlo::jobs {

ItemResult RunTargetItem(const BatchItem& item, const BatchRun& run) {
  const auto started = std::chrono::steady_clock::now();
  const double target = run.request.settings.targetSsim;
  const SampleOutcome outcome = SearchTarget(
      {item.sourcePath, run.request.settings, run.request.programDir, run.output.log}, target,
      run.stop.watch());
  if (!outcome.estimate) {
    ItemResult result;
    result.source = item.source;
    result.output = item.output;
    result.state = outcome.stopped ? ItemState::kCancelled : ItemState::kFailed;
    result.reason = outcome.stopped ? "" : "no CRF chosen for the target SSIM: " + outcome.failure;
    return result;
  }
  TargetRecord record = RecordOf(target, outcome);
  BatchRequest chosen = run.request;
  chosen.settings.crf = record.position;
  ItemResult result =
      RunBatchItem(item, BatchRun{chosen, run.output, run.stop, run.items, run.threads});
  if (result.state == ItemState::kDone) {
    record.encodeSeconds = result.seconds;
    std::error_code error;
    const auto bytes = std::filesystem::file_size(item.outputPath, error);
    if (!error) record.measuredBytes = static_cast<double>(bytes);
    result.quality = MeasureItem(item, chosen, run.stop);
    if (result.quality->figures) record.measuredSsim = result.quality->figures->ssim;
  }
  result.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (run.output.log) {
    run.output.log("##### TARGET: " + item.source + ": " + TargetText(record) + " ######\r\n");
  }
  result.target = record;
  return result;
}

}  // namespace vexlo::jobs
