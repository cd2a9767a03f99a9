// The reading of what ffmpeg.bin and ffprobe.bin say during a quality measurement: whole reports,
// reports that lack a figure or hold nonsense, and the output's shape.
#include <gtest/gtest.h>

#include <cmath>

#include "jobs/QualityMeasure.h"

namespace vexlo::jobs {
namespace {

// The closing lines of a real measurement (FFmpeg 5.1, -v verbose), other lines among them.
constexpr std::string_view kSsim =
    "[Parsed_ssim_8 @ 0x55bd5e818e80] SSIM Y:0.963488 (14.375652) U:0.951874 (13.176247) "
    "V:0.960161 (13.996925) All:0.960998 (14.089129)\n";
constexpr std::string_view kPsnr =
    "[Parsed_psnr_9 @ 0x55bd5e819b80] PSNR y:29.193532 u:25.177799 v:25.893874 "
    "average:27.600469 min:17.841970 max:39.370225\n";
constexpr std::string_view kCounts =
    "  Output stream #0:0 (video): 70 frames encoded; 70 packets muxed (33040 bytes); \n"
    "  Input stream #0:0 (video): 100 packets read (328921 bytes); 100 frames decoded; \n"
    "  Output stream #1:0 (video): 80 frames encoded; 80 packets muxed (37760 bytes); \n";

std::string Joined(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (std::string_view part : parts) text += part;
  return text;
}

TEST(QualityReport, ReadsEveryFigureOrNone) {
  const QualityFigures whole{0.960998, 0.963488, 0.951874, 0.960161, 27.600469, 70, 80};
  const struct {
    const char* what;
    std::string text;
    std::optional<QualityFigures> figures;
  } rows[] = {
      {"a whole report", Joined({"[fps] 100 frames in, 80 frames out\n", kCounts, kPsnr, kSsim}),
       whole},
      {"CR line ends", Joined({kSsim.substr(0, kSsim.size() - 1), "\r", kPsnr, kCounts}), whole},
      {"no source count", Joined({kSsim, kPsnr, kCounts.substr(0, 80)}), std::nullopt},
      {"no PSNR", Joined({kSsim, kCounts}), std::nullopt},
      {"an SSIM line cut before All", Joined({kSsim.substr(0, 100), "\n", kPsnr, kCounts}),
       std::nullopt},
      {"SSIM of nothing", Joined({"[ssim] SSIM Y:nan (nan) U:1 V:1 All:nan\n", kPsnr, kCounts}),
       std::nullopt},
      {"identical frames",
       Joined({kSsim, "[psnr] PSNR y:inf u:inf v:inf average:inf min:inf max:inf\n", kCounts}),
       QualityFigures{whole.ssim, whole.ssimY, whole.ssimU, whole.ssimV, INFINITY, 70, 80}},
      {"RGB components in their order",
       Joined({"[ssim] SSIM R:0.5 (3) G:0.25 (3) B:0.125 (3) All:0.3 (3)\n", kPsnr, kCounts}),
       QualityFigures{0.3, 0.5, 0.25, 0.125, whole.psnr, 70, 80}},
      {"a negative count",
       Joined({kSsim, kPsnr, "Output stream #0:0 (video): -5 frames\n",
               "Output stream #1:0 (video): 80 frames\n"}),
       std::nullopt},
      {"words without values", "] SSIM : :: All: Y:\n] PSNR average:\nOutput stream #0:0",
       std::nullopt},
      {"nothing", "", std::nullopt},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const std::optional<QualityFigures> read = ParseQualityReport(row.text);
    ASSERT_EQ(read.has_value(), row.figures.has_value());
    if (!read) continue;
    EXPECT_EQ(read->ssim, row.figures->ssim);
    EXPECT_EQ(read->ssimY, row.figures->ssimY);
    EXPECT_EQ(read->ssimU, row.figures->ssimU);
    EXPECT_EQ(read->ssimV, row.figures->ssimV);
    EXPECT_EQ(read->psnr, row.figures->psnr);
    EXPECT_EQ(read->frames, row.figures->frames);
    EXPECT_EQ(read->sourceFrames, row.figures->sourceFrames);
  }
}

TEST(QualityReport, ReadsTheOutputsShape) {
  const struct {
    std::string probe;
    std::optional<std::string> shape;  // "WxH FORMAT RATE"
  } rows[] = {
      {"width=320\nheight=240\npix_fmt=yuv420p\nr_frame_rate=50/1\navg_frame_rate=25/1\n",
       "320x240 yuv420p 25/1"},
      {"width=64\r\nheight=48\r\npix_fmt=yuv420p10le\r\nr_frame_rate=25/1\r\navg_frame_rate=0/0",
       "64x48 yuv420p10le 25/1"},
      {"width=64\nheight=48\npix_fmt=gray\nr_frame_rate=N/A\navg_frame_rate=1/0\n", "64x48 gray "},
      {"", std::nullopt},  // a WAV: no video stream, nothing printed
      {"width=0\nheight=48\npix_fmt=yuv420p\n", std::nullopt},
      {"width=64\nheight=48\npix_fmt=unknown\n", std::nullopt},
      {"width=64\nheight=48\npix_fmt=yuv420p,split\n", std::nullopt},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.probe);
    const std::optional<VideoShape> shape = ParseVideoShape(row.probe);
    ASSERT_EQ(shape.has_value(), row.shape.has_value());
    if (!shape) continue;
    EXPECT_EQ(std::to_string(shape->width) + "x" + std::to_string(shape->height) + " " +
                  shape->pixelFormat + " " + shape->frameRate,
              *row.shape);
  }
  for (const char* raw : {"/a/b.h264", "/a/B.H265", "c.H264"}) EXPECT_TRUE(IsRawVideoStream(raw));
  for (const char* other : {"/a/b.mp4", "/a.h264/b", "b.264", "h264"}) {
    EXPECT_FALSE(IsRawVideoStream(other)) << other;
  }
}

}  // namespace
}  // namespace vexlo::jobs
