#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "analysis/IndexFile.h"

// The reading of the prober's frame report, block by block: the index file's records and the GOP.

namespace vexlo::analysis {

/// The scratch of the frame block being read: what the header takes from a video frame.
struct FrameInfo {
  std::uint8_t mediaType = 0;      // first letter of "media_type": 'v', 'a', or 0 when absent
  std::uint8_t interlaced = 0;     // "interlaced_frame"
  std::uint8_t topFieldFirst = 0;  // "top_field_first"
  float frameDuration = 0;         // "pkt_duration_time" or "duration_time", seconds
  char pixelFormat[20] = {};       // "pix_fmt": at most 19 characters, NUL-terminated
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t aspectNumerator = 0;    // "sample_aspect_ratio" before the colon
  std::int32_t aspectDenominator = 0;  // "sample_aspect_ratio" after the colon
  double time = 0;                     // "best_effort_timestamp_time", seconds
  bool hasTime = false;                // that key came with a number (not "N/A")
};

/// Letters of the first GOP that are kept at most; a file without a second key frame among its
/// first 1000 video frames prints no GOP lines.
inline constexpr int kGopMaxLetters = 1000;
/// Size of the "GOP: ..." line with its terminating NUL; a longer pattern is shortened.
inline constexpr std::size_t kGopLineSize = 1000;

/// The measurement of the first GOP: from the first video frame up to and including the next
/// key frame.
struct GopState {
  bool measuring = true;  // false once the GOP lines have been printed
  int counter = 0;        // letters stored in the pattern
  std::string pattern;    // the picture type letters, at most kGopMaxLetters
};

/// The working records of one frame index or GOP job.
struct FrameParseState {
  IndexHeader header{};
  FrameRecord record{};
  FrameInfo info{};
  GopState gop{};
  bool gopMode = false;  // a GOP job: stop once the GOP is known

  /// Zeroes the header, record and frame info and restarts the GOP measurement; keeps gopMode.
  void Reset();
};

/// What the parser asks of its job. Every hook may be empty.
struct FrameParseHooks {
  std::function<void(const FrameRecord&)> writeRecord;  // a video frame is complete
  std::function<void(std::string_view)> appendLog;      // the GOP lines
  std::function<void()> requestStop;                    // GOP mode: the GOP is known
};

/// Parses one line of the prober's "-show_frames" report (without its line end) into the
/// working records: a "[FRAME]" line starts a block, key=value lines fill it, "[/FRAME]" ends
/// it and, for a video frame, writes its record, counts it, feeds the GOP measurement and takes
/// the stream description of the second and third video frames into the header.
///
/// A key counts only as a whole key name directly followed by "=": "width" is not found in
/// "coded_width=64", nor "duration_time" in "pkt_duration_time=0.04". One line may hold several
/// keys; they are applied in the order of the key table. The frame duration is read from
/// "pkt_duration_time" and also from "duration_time", the name newer FFmpeg builds print.
void ParseFrameLine(FrameParseState& state, std::string_view line, const FrameParseHooks& hooks);

/// The line "GOP: <pattern>\r\n", shortened to fit kGopLineSize bytes with its NUL: a pattern
/// too long keeps its first letters and its last one (the closing key frame) with "..." between.
std::string GopPatternLine(std::string_view pattern);
/// The line "GOP SIZE: <size>\r\n".
std::string GopSizeLine(int size);

}  // namespace vexlo::analysis
