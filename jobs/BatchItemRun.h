#pragma once

#include <functional>
#include <vector>

#include "jobs/Batch.h"
#include "jobs/BatchPlan.h"
#include "jobs/BatchResult.h"
#include "jobs/QualityMeasure.h"

// One item of the batch (or of the queue, which runs its items as the batch does) run to its
// result, and the measurement of a done item's output.
namespace vexlo::jobs {

// What every item of one batch shares.
struct BatchRun {
  const BatchRequest& request;
  const BatchOutput& output;
  const BatchStop& stop;
  const std::vector<BatchItem>& items;
  unsigned threads = 0;  // the item's share of the processors; 0 leaves its command line whole
  /// Called once the item's encoding tool has ended, before its output is read back: the batch
  /// then lets the next item's tool start while this one's check runs. May be empty.
  std::function<void()> toolEnded = {};
};

/// Runs one item to its result. The item's tool writes to its temporary name; an output that
/// passes the check is renamed to the output name, one that fails it (or that a failed tool left)
/// is kept under the incomplete name, and a stopped item's temporary file is removed: nothing is
/// ever left under the output name but a checked output. The output's existing file is judged
/// first by the request's rule, then the source must be a readable file that is not the output.
ItemResult RunBatchItem(const BatchItem& item, const BatchRun& run);

/// The SSIM and PSNR of a done item's output against its source, measured as the encode made
/// it (the request's frame rate, resize and deinterlace positions); stopped by `stop`.
QualityResult MeasureItem(const BatchItem& item, const BatchRequest& request,
                          const BatchStop& stop);

}  // namespace vexlo::jobs
