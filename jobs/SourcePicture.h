#pragma once

#include <string>
#include <string_view>

#include "jobs/BatchSchedule.h"
#include "platform/FileDescriptor.h"

// The picture of a source as the memory estimate of a batch or queue item needs it: its size and
// bit depth, read by the prober before the item starts.
namespace vexlo::jobs {

/// The bits of one sample of a pixel format as the prober names it: the number before a closing
/// "le" or "be" ("yuv420p10le" 10, "p010le" 10, "rgb48be" 16: over 16 means a pixel's three
/// samples), 8 for a name without one ("yuv420p", "nv12", "rgb24").
int BitDepthOf(std::string_view pixelFormat);

/// The first video stream's picture of `sourcePath`, read by ffprobe.bin in `programDir`;
/// stopped when `stop` can be read. A source the prober cannot read gives the default picture
/// (the largest a batch expects), so an unknown source is never estimated too small.
SourcePicture ProbeSourcePicture(const std::string& programDir, const std::string& sourcePath,
                                 const platform::UniqueFd& stop);

}  // namespace vexlo::jobs
