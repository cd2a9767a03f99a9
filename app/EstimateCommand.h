#pragma once

#include "app/CommandOptions.h"
#include "jobs/TargetReport.h"

// The predictions before an encode on the command line: --estimate, and the choice of the CRF
// for an option form's --target-ssim.

namespace vexlo::app {

/// Runs --estimate with the tools beside the program: per source one line on standard output
/// (or, with --json, one object: source, predicted_bytes, predicted_seconds, predicted_ssim, crf,
/// and with a target its quality_target), the samples' steps on standard error. Status 0 when
/// every source was estimated, 1 when one could not be, 130 when SIGINT or SIGTERM stopped it.
int RunEstimateCommand(const EstimateJob& job);

/// For an option form with a target SSIM: searches the position and sets `job.crf` to it, the
/// steps and the choice on standard error. Nothing when the encode may go on, else the exit
/// status (1 the search failed, 130 stopped).
std::optional<int> ChooseTargetPosition(OptionJob& job, jobs::TargetRecord& record);

/// After the option form's encode at the chosen position: measures the destination against its
/// source and prints "##### TARGET: ... ######" with the prediction and what was measured.
void ReportTargetEncode(const OptionJob& job, jobs::TargetRecord record, double encodeSeconds);

}  // namespace vexlo::app
