#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/FileDescriptor.h"

// The quality measurement: SSIM and PSNR of an encoded output against its source, both from one
// ffmpeg.bin run with FFmpeg's ssim and psnr filters. The source is first brought to the output's
// size, frame rate and pixel format, so that like is compared with like.
namespace vexlo::jobs {

// The figures of one measurement.
struct QualityFigures {
  double ssim = 0;  // "All": the components weighted as FFmpeg weighs them
  double ssimY = 0;
  double ssimU = 0;
  double ssimV = 0;
  /// The average PSNR in dB. FFmpeg gives "inf" when every frame pair is identical (no error at
  /// all); it is then +infinity here, printed "inf" and written as null in JSON.
  double psnr = 0;
  std::int64_t frames = 0;        // frame pairs measured
  std::int64_t sourceFrames = 0;  // the source's frames at the output's frame rate
};

/// Reads the figures from ffmpeg.bin's output (run as QualityCommandLine runs it): the summary
/// lines "[Parsed_ssim_7 @ 0x..] SSIM Y:0.98 (17.6) U:0.98 (18.6) V:0.98 (19.7) All:0.98 (18.0)"
/// and "[Parsed_psnr_8 @ 0x..] PSNR y:38.5 u:37.9 v:37.0 average:38.1 min:37.1 max:39.3", and
/// the verbose closing counts "Output stream #0:0 (video): 70 frames encoded; ..." (output 0
/// carries the measured pairs, output 1 the source's frames). Nothing unless every figure is
/// there and makes sense (SSIM finite, PSNR not NaN). Any text is safe to give it.
std::optional<QualityFigures> ParseQualityReport(std::string_view toolOutput);

// What to measure. The encode's --fps, --resize and --deinterlace positions say what it did: a
// deinterlaced encode is measured against the deinterlaced source, and a raw H.264/H.265 stream
// (which carries no reliable frame rate) is read at the forced rate, else at the source's.
struct QualityRequest {
  std::string source;      // as the user gave it
  std::string output;      // as the user gave it
  std::string sourcePath;  // absolute
  std::string outputPath;  // absolute
  int fps = 0;             // the "Force FPS" position the encode used; 0 = none
  int resize = 0;  // the "Video Resize" position; the output's own size decides what is compared
  bool deinterlace = false;
  std::string programDir;  // where ffmpeg.bin and ffprobe.bin are; they run there
};

// What the output's first video stream is, as the prober reports it.
struct VideoShape {
  int width = 0;
  int height = 0;
  std::string pixelFormat;  // "yuv420p10le"
  std::string frameRate;    // a fraction as the prober writes it, "25/1"; empty when unknown
};

/// The shape in `ffprobe -show_entries stream=width,height,pix_fmt,avg_frame_rate,r_frame_rate
/// -of default=noprint_wrappers=1` output; the average rate is preferred, "0/0" counts as none.
/// Nothing when no width, height or pixel format is given (no video stream).
std::optional<VideoShape> ParseVideoShape(std::string_view probeOutput);

// Two frame rates from the stream summaries ffmpeg.bin prints before its first frame, as it
// prints them ("25", "23.98"): the output file's (its first video stream's average, the
// prober's avg_frame_rate) and the one the source was brought to (the second null output's).
// Empty when not printed.
struct ComparedRates {
  std::string output;
  std::string source;
};

/// Reads the rates from ffmpeg.bin's output (run as QualityCommandLine runs it): the first
/// "Video:" line after "Input #1" and after "Output #1", their ", N fps" part.
ComparedRates ReadComparedRates(std::string_view toolOutput);

/// True for a raw H.264 or H.265 stream by its extension (.h264, .h265, any letter case).
bool IsRawVideoStream(std::string_view path);

/// The one ffmpeg.bin run that measures `request.output` against its source: the source
/// deinterlaced when asked, then brought to the frame rate `rate` (a fraction, a rate of the
/// encode's table, or FFmpeg's "source_fps": the source's own; empty: left as it is), and by
/// scale2ref to the output's size and, through the filters' format negotiation, to the output's
/// pixel format; both sides start at time 0; ssim then psnr take the output first (the distorted
/// input) and the source second, and stop with the shorter of the two. A raw stream output
/// (whose timestamps are the demuxer's guess) is paired with the source frame by frame. A second
/// null output drains the converted source, so its frame count is the whole source's.
std::string QualityCommandLine(const QualityRequest& request, std::string_view rate);

// How a measurement ended.
struct QualityResult {
  std::optional<QualityFigures> figures;  // when it was measured
  std::string failure;                    // why not, one line
  bool stopped = false;                   // `stop` became readable before its end
};

/// Measures on the calling thread: checks that both files can be read, then runs the
/// measurement with the source at the rate the encode used (the `--fps` position's, else the
/// source's own). Only when that run fails, or its stream summaries show an output at another
/// rate, does the prober have its say: the output's shape (and, for a raw stream without a forced
/// rate, the source's rate) decide a second run, whose end is the measurement's. Stops the
/// running tool as soon as `stop` is readable.
QualityResult MeasureQuality(const QualityRequest& request, const platform::UniqueFd& stop);

}  // namespace vexlo::jobs
