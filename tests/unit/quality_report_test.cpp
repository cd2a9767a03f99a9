// The reading of a quality measurement's tool output (whole reports, and reports that lack a
// figure or hold nonsense, which give no figures rather than wrong ones; the two frame rates that
// decide whether the run compared like with like), a failed measurement in a batch item's result,
// and the source's duration when a run reads two inputs, as a measurement does.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "jobs/BatchResult.h"
#include "jobs/JobWindow.h"
#include "jobs/QualityMeasure.h"

namespace vexlo::jobs {
namespace {

// The closing lines of a real measurement (FFmpeg 5.1, -v verbose).
const std::string kSsim =
    "[Parsed_ssim_8 @ 0x55bd5e818e80] SSIM Y:0.963488 (14.375652) U:0.951874 (13.176247) "
    "V:0.960161 (13.996925) All:0.960998 (14.089129)\n";
const std::string kPsnr =
    "[Parsed_psnr_9 @ 0x55bd5e819b80] PSNR y:29.193532 u:25.177799 v:25.893874 "
    "average:27.600469 min:17.841970 max:39.370225\n";
const std::string kCounts =
    "  Output stream #0:0 (video): 70 frames encoded; 70 packets muxed (33040 bytes); \n"
    "  Input stream #0:0 (video): 100 packets read (328921 bytes); 100 frames decoded; \n"
    "  Output stream #1:0 (video): 80 frames encoded; 80 packets muxed (37760 bytes); \n";

std::string Text(const std::optional<QualityFigures>& f) {
  if (!f) return "none";
  char text[128];
  std::snprintf(text, sizeof text, "%g (%g %g %g) %g %lld/%lld", f->ssim, f->ssimY, f->ssimU,
                f->ssimV, f->psnr, static_cast<long long>(f->frames),
                static_cast<long long>(f->sourceFrames));
  return text;
}

TEST(QualityReport, ReadsEveryFigureOrNone) {
  const std::string whole = "0.960998 (0.963488 0.951874 0.960161) 27.6005 70/80";
  const struct {
    const char* what;
    std::string text;
    std::string figures;
  } rows[] = {
      {"a whole report", "[fps] 100 frames in, 80 frames out\n" + kCounts + kPsnr + kSsim, whole},
      {"CR line ends", kSsim.substr(0, kSsim.size() - 1) + "\r" + kPsnr + kCounts, whole},
      {"no source count", kSsim + kPsnr + kCounts.substr(0, 80), "none"},
      {"an SSIM line cut before All", kSsim.substr(0, 100) + "\n" + kPsnr + kCounts, "none"},
      {"SSIM of nothing", "[ssim] SSIM Y:nan (nan) U:1 V:1 All:nan\n" + kPsnr + kCounts, "none"},
      {"identical frames",
       kSsim + "[psnr] PSNR y:inf u:inf v:inf average:inf min:inf max:inf\n" + kCounts,
       "0.960998 (0.963488 0.951874 0.960161) inf 70/80"},
      {"RGB components in their order",
       "[ssim] SSIM R:0.5 (3) G:0.25 (3) B:0.125 (3) All:0.3 (3)\n" + kPsnr + kCounts,
       "0.3 (0.5 0.25 0.125) 27.6005 70/80"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Text(ParseQualityReport(row.text)), row.figures) << row.what;
  }
}

// The output file's rate is its input summary's (the second input), the source's is its null
// output's (the second output): never the first input's or output's, nor a rate that is not
// printed.
TEST(QualityReport, ReadsTheRatesOfTheOutputFileAndOfTheConvertedSource) {
  const std::string inputs =
      "Input #0, mov,mp4,m4a,3gp,3g2,mj2, from 'src.mp4':\n"
      "  Stream #0:0[0x1](und): Video: h264 (High), yuv420p(progressive), 640x480, 50 fps, "
      "50 tbr, 12800 tbn (default)\n"
      "Input #1, mov,mp4,m4a,3gp,3g2,mj2, from 'out.mp4':\n"
      "  Stream #1:0[0x1](und): Audio: aac (LC), 48000 Hz, stereo, fltp, 129 kb/s (default)\n"
      "  Stream #1:1[0x2](und): Video: h264 (High), yuv420p(progressive), 320x240, 23.98 fps, "
      "23.98 tbr, 24k tbn (default)\n";
  const std::string outputs =
      "Output #0, null, to 'pipe:':\n"
      "  Stream #0:0: Video: wrapped_avframe, yuv420p(progressive), 320x240, q=2-31, 200 kb/s, "
      "30 fps, 30 tbn\n"
      "Output #1, null, to 'pipe:':\n"
      "  Stream #1:0: Video: wrapped_avframe, yuv420p(progressive), 320x240, q=2-31, 200 kb/s, "
      "25 fps, 25 tbn\n"
      "  Output stream #1:0 (video): 80 frames encoded; 80 packets muxed (37760 bytes); \n";
  const struct {
    const char* what;
    std::string text;
    std::string rates;  // output, source
  } rows[] = {
      {"both summaries", inputs + outputs, "23.98 25"},
      {"no rate printed", "Input #1, h264, from 'a.h264':\n  Stream #1:0: Video: h264, 1200k tbn\n",
       " "},
      {"outputs only", outputs, " 25"},
      {"a closing count is no summary", kCounts + kSsim, " "},
  };
  for (const auto& row : rows) {
    const ComparedRates rates = ReadComparedRates(row.text);
    EXPECT_EQ(rates.output + " " + rates.source, row.rates) << row.what;
  }
}

// A batch item whose measurement failed stays done: its quality is null, its log line says why.
TEST(QualityReport, AFailedMeasurementOfABatchItemSaysWhy) {
  const ItemResult result{"a", "b", ItemState::kDone, "", 0.1, 1.0, 1.0, QualityResult{{}, "why"},
                          std::nullopt, {}, std::nullopt, std::nullopt};
  EXPECT_TRUE(ResultJson(result).ends_with(",\"quality\":null}")) << ResultJson(result);
  EXPECT_TRUE(
      ResultLogLine(result, 1, 1).ends_with("(0.1 s): quality not measured: why ######\r\n"))
      << ResultLogLine(result, 1, 1);
}

// Every reader takes the first input's "Duration:" (the source) and never a later input's, also
// when the first has none to give.
TEST(SourceDuration, IsTheFirstInputsWhateverFollows) {
  const struct {
    std::vector<std::string> lines;
    std::int64_t ms;
  } rows[] = {
      {{"Input #0, mov,mp4,m4a,3gp,3g2,mj2, from 'src.mov':", "  Duration: 00:00:10.00, start: 0",
        "Input #1, mov,mp4,m4a,3gp,3g2,mj2, from 'out.mp4':", "  Duration: 00:00:13.00, start: 0",
        "frame=  250 fps=0.0 q=-0.0 size=N/A time=00:00:10.00 bitrate=N/A speed=20x"},
       10000},
      {{"Input #0, h264, from 'src.h264':", "  Duration: N/A, bitrate: N/A",
        "Input #1, wav, from 'a.wav':", "  Duration: 00:00:03.00, bitrate: 1411 kb/s"},
       0},
      {{"Output #0, mp4, to 'out.mp4':", "frame=   25 time=00:00:01.00"}, 0},
  };
  for (const auto& row : rows) {
    process::SourceDuration duration;
    JobFigures figures;
    figures.durationMs = -1;  // a new run's figure until its first "Duration:"
    for (const std::string& line : row.lines) {
      duration.Read(line);
      ParseOutputLine(figures, line);
    }
    EXPECT_EQ(duration.load(), row.ms) << row.lines[0];
    EXPECT_EQ(figures.durationMs.load(), duration.read() ? row.ms : -1) << row.lines[0];
  }
}

}  // namespace
}  // namespace vexlo::jobs
