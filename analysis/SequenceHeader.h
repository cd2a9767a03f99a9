#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/Conformance.h"

// The facts of an H.264 or H.265 sequence parameter set that the prober reports of a raw stream,
// named as it names them. A set that uses anything the prober might report otherwise (field
// coding, an RGB or full-range picture other than 8-bit 4:2:0, a crop from the left or top, a
// profile or bit depth it was not seen to name, picture timing in SEI messages) is not read.
namespace vexlo::analysis {

struct SequenceHeader {
  PictureSize size;         // with the cropping (conformance window) applied
  std::string pixelFormat;  // "yuv420p", "yuv422p10le"
  std::string profile;      // "Constrained Baseline", "High 10", "Main 10", "Rext"
  // The timing: a frame lasts `frameTicks` of a clock of `tickRate` ticks a second; 0 when the
  // set has none.
  std::uint64_t frameTicks = 0;
  std::uint64_t tickRate = 0;
  // Frames shown after a later one in decoding order at most (the prober's has_b_frames); none
  // when the set does not say.
  std::optional<std::uint32_t> reorderFrames;
  int log2MaxFrameNum = 4;  // H.264: the width of frame_num, which bounds a recovery point
};

/// The sequence parameter set in `nal` (its header bytes included, emulation prevention not yet
/// removed). Nothing when it is damaged, cut short or uses what this reader leaves to the prober.
std::optional<SequenceHeader> ReadH264SequenceHeader(std::basic_string_view<std::uint8_t> nal);
std::optional<SequenceHeader> ReadH265SequenceHeader(std::basic_string_view<std::uint8_t> nal);

}  // namespace vexlo::analysis
