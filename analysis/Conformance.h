#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Whether an encode's output is what its request asked for: its frame count against the source's
// frames at the rate asked, its picture size, pixel format and H.264 profile, and with a short GOP
// its longest GOP. Plain functions over the prober's text: the command lines that read a source's
// header and an output's packets (never a decoded frame), the readers of their reports, the
// comparison, and the log lines of what differs.
namespace vexlo::analysis {

/// A frame count may miss the expected one by this many frames and still match: one for the
/// rounding of the source's length to whole frames at the rate asked, and two for the first and
/// last frame that FFmpeg's rate conversion without the fps filter repeats (the H.265 and MPV
/// encodes change the rate with "-r" alone: FFmpeg 5.1 makes 52 frames of 10 s at 5 frames/s).
inline constexpr std::int64_t kFrameTolerance = 3;

struct PictureSize {
  int width = 0;
  int height = 0;
  friend bool operator==(const PictureSize&, const PictureSize&) = default;
};

/// What an encode asked of its output, as far as its packets can tell. Each field that is empty
/// (or false, or 0) is not checked.
struct ConformanceRequest {
  bool frames = false;              // the frame count (not for a source of unknown length)
  std::optional<double> frameRate;  // the rate asked; none keeps the source's frames
  std::optional<PictureSize> size;  // the size asked; none keeps the source's
  std::string pixelFormat;          // the pixel format the command line asks ("yuv420p")
  std::string profile;              // the H.264 profile asked: "baseline", "main" or "high"
  int longestGop = 0;               // at most this many frames from one key frame to the next
};

/// A source's first video stream as its header gives it.
struct SourceVideo {
  std::optional<std::int64_t> frames;  // the header's frame count (MP4 has one)
  std::optional<double> seconds;       // the stream's length, its DURATION tag, else the file's
  std::optional<double> frameRate;     // the average rate, else the base one
  PictureSize size;
};

/// An output's first video stream as its packets give it.
struct OutputVideo {
  bool found = false;  // false: the report names no video stream
  std::optional<std::int64_t> frames;
  PictureSize size;
  std::string pixelFormat;
  std::string profile;  // the prober's name: "Constrained Baseline", "Main", "High"
  // Only when the packets were listed, and in the order frames are shown: their timestamps', or
  // for a stream without them (a raw stream) decoding order when it has no B-frames.
  std::optional<int> longestGop;
};

template <typename T>
struct Compared {
  T expected{};
  T found{};
  bool ok = false;
};

/// What was compared; a fact that was not checked is empty.
struct ConformanceReport {
  std::optional<Compared<std::int64_t>> frames;
  std::optional<Compared<PictureSize>> size;
  std::optional<Compared<std::string>> pixelFormat;
  std::optional<Compared<std::string>> profile;
  std::optional<Compared<int>> longestGop;  // expected: the most allowed
  bool ok() const;
  /// The output has fewer frames than expected, beyond the tolerance: frames were lost.
  bool framesShort() const;
};

/// "DIR/ffprobe.bin" -v error -select_streams v:0 -show_entries
/// stream=width,height,nb_frames,duration,avg_frame_rate,r_frame_rate:stream_tags=DURATION:
/// format=duration "PATH": the source's header only.
std::string SourceVideoCommandLine(std::string_view programDir, std::string_view path);

/// "DIR/ffprobe.bin" -v error -select_streams v:0 -count_packets -show_entries
/// stream=codec_type,nb_read_packets,avg_frame_rate,r_frame_rate,width,height,pix_fmt,profile,
/// has_b_frames:format=duration[:packet=pts,flags] "PATH": every packet is read, none decoded;
/// each packet's timestamp and flags are listed only when `listPackets` (the GOP is checked). Its
/// report also gives what ReadOutputLength reads.
std::string OutputVideoCommandLine(std::string_view programDir, std::string_view path,
                                   bool listPackets);

SourceVideo ReadSourceVideo(std::string_view report);
OutputVideo ReadOutputVideo(std::string_view report);

/// Compares the output with what was asked; the source gives the frame count and the size
/// where the request keeps the source's. A fact the reports do not give is not checked.
ConformanceReport CompareOutput(const ConformanceRequest& request, const SourceVideo& source,
                                const OutputVideo& output);

/// "the output has 231 frames, 250 were expected".
std::string FramesText(const Compared<std::int64_t>& frames);

/// One log line per fact that differs, each "##### WARNING: ... ######\r\n".
std::vector<std::string> ConformanceWarnings(const ConformanceReport& report);

}  // namespace vexlo::analysis
