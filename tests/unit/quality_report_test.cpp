// The reading of a quality measurement's tool output (whole reports, and reports that lack a
// figure or hold nonsense, which give no figures rather than wrong ones), and a failed
// measurement in a batch item's result.
#include <gtest/gtest.h>

#include <cstdio>

#include "jobs/BatchResult.h"
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

// A batch item whose measurement failed stays done: its quality is null, its log line says why.
TEST(QualityReport, AFailedMeasurementOfABatchItemSaysWhy) {
  const ItemResult result{"a", "b", ItemState::kDone, "", 0.1, 1.0, 1.0, QualityResult{{}, "why"},
                          std::nullopt, {}};
  EXPECT_TRUE(ResultJson(result).ends_with(",\"quality\":null}")) << ResultJson(result);
  EXPECT_TRUE(
      ResultLogLine(result, 1, 1).ends_with("(0.1 s): quality not measured: why ######\r\n"))
      << ResultLogLine(result, 1, 1);
}

}  // namespace
}  // namespace vexlo::jobs
