#pragma once

#include "jobs/BatchItemRun.h"

// An item of the batch or the queue whose settings carry a target SSIM: the samples choose its
// CRF position, then the item runs as any other at that position, and its output is measured.
namespace vexlo::jobs {

/// Searches the position, runs the item there (RunBatchItem) and measures a done output against
/// its source: `quality` and `target` of the result hold the figures and the choice. A search
/// that fails or is stopped fails the item (or ends it as stopped) before any encode; the
/// search's lines and "##### TARGET: SOURCE: ... ######" go to the run's log.
ItemResult RunTargetItem(const BatchItem& item, const BatchRun& run);

}  // namespace vexlo::jobs
