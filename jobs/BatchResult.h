#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/Conformance.h"
#include "jobs/ItemState.h"
#include "jobs/QualityMeasure.h"
#include "jobs/TargetReport.h"

// The batch's results as its presenters give them: one JSON object and one log line per item,
// the summary line and the exit status.
namespace vexlo::jobs {

/// The state's word in the batch's results: "done", "failed" (a cancelled item too: a batch is
/// stopped as a whole, and its item failed to make its output), "skipped", or "not started" for
/// an item the stopped batch never ran.
std::string_view BatchStateWord(ItemState state);

// One item's result, as the log line and the JSON object give it.
struct ItemResult {
  std::string source;  // as given
  std::string output;  // in the output folder as given
  ItemState state = ItemState::kWaiting;  // as long as it has not run
  std::string reason;  // why it failed or was skipped, or what was not checked; may be empty
  double seconds = 0;  // how long the item took
  std::optional<double> sourceSeconds;  // the source's duration, when the tool gave one
  std::optional<double> outputSeconds;  // the output's, when it was read back
  std::optional<QualityResult> quality;  // a done item's measurement, when the batch measures
  std::optional<std::size_t> index;     // the item's position in the input, from 1
  std::string commandLine;               // the tool's command line as it ran; empty if none ran
  std::optional<analysis::ConformanceReport> conformance;  // what the output's check compared
  std::optional<TargetRecord> target;    // the CRF a target SSIM chose, and what it reached
};

/// The result as one JSON object on one line (no line end): source, output, state, reason
/// (a string, "" for none), seconds, source_duration and output_duration (seconds, or null).
/// `index` and `command_line` follow when known (the batch's items have them).
/// A measured item also has `quality`: its figures (as QualityJson names them), or null when the
/// measurement failed. A checked output has `conformance` (ConformanceJson). Bytes of a name that
/// are not UTF-8 become U+FFFD.
std::string ResultJson(const ItemResult& result);

/// The result's log line, with CR LF:
/// "##### BATCH 2/5 failed: SOURCE -> OUTPUT (1.2 s): REASON ######"; a measured item's figures
/// (QualityText) or why they are missing follow the reason.
std::string ResultLogLine(const ItemResult& result, std::size_t number, std::size_t count);

/// The figures in one line: "SSIM 0.98712 (Y 0.9843 U 0.9921 V 0.9930), PSNR 41.23 dB, 250 of
/// 250 frames" (SSIM to 5 decimals, its components to 4, PSNR to 2 or "inf").
std::string QualityText(const QualityFigures& figures);

/// One measurement as a JSON object on one line: source, output, ssim, ssim_y, ssim_u, ssim_v,
/// psnr (null for identical frames, whose PSNR is infinite), frames, source_frames.
std::string QualityJson(const std::string& source, const std::string& output,
                        const QualityFigures& figures);

/// The batch's last log line, with CR LF: how many items ended in each state.
std::string SummaryLogLine(const std::vector<ItemResult>& results);

/// The program's exit status after a batch that ran: 130 when it was stopped, else 1 when an
/// item failed, else 0.
int BatchExitStatus(const std::vector<ItemResult>& results, bool stopped);

}  // namespace vexlo::jobs
