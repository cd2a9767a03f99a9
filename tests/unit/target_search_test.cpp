// The pure parts of the target SSIM: where the samples lie, how the search walks the CRF list
// over known curves, the speed read from a tool's output, the cut's command line.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "jobs/QualityTarget.h"
#include "jobs/Samples.h"
#include "platform/Paths.h"

namespace vexlo::jobs {
namespace {

TEST(TargetSamples, SpreadOverTheWholeSource) {
  const struct {
    double seconds;
    std::size_t count;  // 0: the whole source
    double length;
    double firstStart;
  } rows[] = {
      {0, 0, 0, 0},           // unknown length: the whole source
      {4.4, 0, 0, 0},         // shorter than 3 spans of 1.5 s
      {40, 3, 1.5, 5.917},    // the shortest spans
      {120, 3, 1.6, 19.2},    // 4 % of two minutes
      {180, 5, 1.5, 17.25},   // one more span each 40 s
      {600, 6, 4.0, 48.0},    // the longest spans, still 6
  };
  for (const auto& row : rows) {
    const SamplePlan plan = PlanSamples(row.seconds);
    ASSERT_EQ(plan.spans.size(), row.count) << row.seconds;
    if (row.count == 0) {
      EXPECT_DOUBLE_EQ(plan.seconds, row.seconds);
      continue;
    }
    EXPECT_DOUBLE_EQ(plan.spans[0].length, row.length) << row.seconds;
    EXPECT_DOUBLE_EQ(plan.spans[0].start, row.firstStart) << row.seconds;
    EXPECT_DOUBLE_EQ(plan.seconds, row.count * row.length);
    // In order, not overlapping, the last one ending in the last share of the source.
    for (std::size_t i = 1; i < plan.spans.size(); ++i) {
      EXPECT_GE(plan.spans[i].start, plan.spans[i - 1].start + row.length);
    }
    const SampleSpan& last = plan.spans.back();
    EXPECT_LE(last.start + last.length, row.seconds);
    EXPECT_GT(last.start, row.seconds * (row.count - 1) / row.count);
  }
  const std::string tool = "\"/d" + std::string(1, platform::kPathSeparator);
  EXPECT_EQ(SampleCutCommandLine("/d", "/s.mp4", PlanSamples(40), "/t/r.mkv", 640),
            tool + "ffmpeg.bin\" -ss 5.917 -t 1.500 -i \"/s.mp4\" -ss 19.250 -t 1.500 -i "
            "\"/s.mp4\" -ss 32.583 -t 1.500 -i \"/s.mp4\" -filter_complex "
            "[0:v:0][1:v:0][2:v:0]concat=n=3:v=1:a=0[samples] -map [samples] -an -sn -c:v ffvhuff "
            "-y \"/t/r.mkv\"");
  // ffvhuff takes no odd width in 4:2:0; an unknown width gets FFV1 too.
  for (const int width : {321, 0}) {
    EXPECT_NE(SampleCutCommandLine("/d", "/s.mp4", PlanSamples(40), "/t/r.mkv", width)
                  .find(" -c:v ffv1 -y "),
              std::string::npos);
  }
  // Points from each span's start to the last start that keeps it in its share, from the
  // source's start time.
  EXPECT_EQ(KeyFrameCommandLine("/d", "/s.ts", PlanSamples(40), 40, 1.4),
            tool + "ffprobe.bin\" -v error -select_streams v:0 -show_entries "
            "packet=pts_time,flags -of csv=p=0 -read_intervals 7.317%+#1,8.317%+#1,9.317%+#1,"
            "11.317%+#1,13.033%+#1,20.650%+#1,21.650%+#1,22.650%+#1,24.650%+#1,26.367%+#1,"
            "33.983%+#1,34.983%+#1,35.983%+#1,37.983%+#1,39.700%+#1 \"/s.ts\"");
}

// The spans move to just after the key frame of their own share nearest to where they were
// planned: the prober's times count from the source's start time, and a packet that is no key
// frame (a demuxer that seeks by bytes), a key frame in another share or one too late for the
// span to fit leaves the span alone.
TEST(TargetSamples, StartJustAfterTheNearestKeyFrameOfTheirShare) {
  const SourceFacts facts = ReadSourceFacts(
      "width=640\nwidth=640\nstart_time=1.400000\nduration=120.000000\n");
  EXPECT_EQ(facts.width, 640);
  EXPECT_DOUBLE_EQ(facts.startTime, 1.4);
  EXPECT_DOUBLE_EQ(facts.seconds, 120);
  const SourceFacts unknown = ReadSourceFacts("start_time=N/A\nduration=N/A\n");
  EXPECT_EQ(unknown.width, 0);
  EXPECT_EQ(unknown.seconds, 0);

  const struct {
    const char* packets;  // for spans planned at 19.2, 59.2 and 99.2 of 120 s
    double starts[3];
  } rows[] = {
      {"11.400000,K_\n51.400000,K_\n91.400000,K_\n", {10.2, 50.2, 90.2}},
      // before and after the planned start: the nearer; the share's first or a later one
      {"13.400000,K_\n23.400000,K_\n41.400000,K_\n61.300000,K_\n", {22.2, 60.1, 99.2}},
      // the first before its share, the second a packet that is no key frame, the third
      // just before its span; one too late for the first span to fit in its share
      {"1.300000,K_\n40.400000,K_\n41.400000,__\n100.500000,K_\n", {19.2, 59.2, 99.3}},
      {"", {19.2, 59.2, 99.2}},
      {"garbage\n,K\n", {19.2, 59.2, 99.2}},
  };
  for (const auto& row : rows) {
    SamplePlan plan = PlanSamples(120);
    StartAtKeyFrames(plan, 120, facts.startTime, row.packets);
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_DOUBLE_EQ(plan.spans[i].start, row.starts[i]) << row.packets << " span " << i;
    }
  }
}

// The whole encode's bytes from the samples' statistics by frame type: the key frames the spans'
// joins forced count at one per GOP; the encoder's other figures, or none, leave the fallback.
TEST(TargetSamples, KeyFramesOfTheJoinsAreNotTheWholeEncodes) {
  const std::string x264 = "[libx264 @ 0x5] frame I:3     Avg QP:27.23  size: 26697\n"
                           "[libx264 @ 0x5] frame P:117   Avg QP:30.89  size:   717\n";
  const struct {
    std::string lines;
    double scale;
    int gop, spans;
    std::optional<double> bytes;
  } rows[] = {
      {x264, 25, 64, 3, 3000.0 / 64 * 26697 + (3000 - 3000.0 / 64) * 717},
      // the whole source as its sample: its own two key frames, the bytes it had
      {"frame I:2 Avg QP:20.00 size: 1000\nframe P:98 Avg QP:22.00 size: 100\n", 1, 64, 0,
       11800.0},
      // B-frames count with the P-frames; a GOP longer than the encode gives part of a key frame
      {"frame I:1 size: 1000\nframe P:50 size: 100\nframe B:49 size: 50\n", 2, 250, 1,
       0.8 * 1000 + 199.2 * 7450 / 99},
      // x265's kb/s: 100 frames in 4 s, 25 frames/s; 497.8 kb/s is 2489 bytes a frame
      {"x265 [info]: frame I:      2, Avg QP:24.05  kb/s: 497.80\n"
       "x265 [info]: frame P:     26, Avg QP:25.83  kb/s: 231.94\n"
       "x265 [info]: frame B:     72, Avg QP:31.87  kb/s: 73.82\n",
       1, 50, 2, 2 * 2489 + 98 * (26 * 1159.7 + 72 * 369.1) / 98},
      {"", 25, 64, 3, std::nullopt},
  };
  for (const auto& row : rows) {
    const std::optional<double> bytes =
        PredictedBytes(row.lines, 100 / 25.0, row.scale, row.gop, row.spans);
    ASSERT_EQ(bytes.has_value(), row.bytes.has_value()) << row.lines;
    if (bytes) {
      EXPECT_NEAR(*bytes, *row.bytes, 0.01) << row.lines;
    }
  }
  EXPECT_EQ(GopOf("ffmpeg.bin -i \"a\" -vcodec libx264 -g 64 -preset slow \"b\""), 64);
  EXPECT_EQ(GopOf("ffmpeg.bin -i \"a\" -vcodec libx264 \"b\""), 250);
}

// The search over curves of SSIM by position: it ends at the highest position meeting the
// target, having seen the one above it miss, in few encodes.
TEST(TargetSearch, FindsTheLastPositionMeetingTheTarget) {
  using Curve = std::array<double, kCrfPositions>;
  // 1 - SSIM growing exponentially with the CRF, as x264's does, and a curve bent the other way.
  const auto exponential = [](double ssimAt20, double slope) {
    Curve curve{};
    for (int p = 0; p < kCrfPositions; ++p) {
      curve[p] = 1 - (1 - ssimAt20) * std::exp(slope * (CrfOfPosition(p) - 20));
    }
    return curve;
  };
  const Curve flatThenSteep = {0.999, 0.998, 0.998, 0.997, 0.997, 0.997, 0.996,
                               0.996, 0.996, 0.995, 0.99,  0.98,  0.95,  0.90};
  // Measured on 640x360 samples: grain over a cellular automaton, whose SSIM hardly moves over
  // the last four positions, and strong noise.
  const Curve grain = {0.99766, 0.99613, 0.99350, 0.98491, 0.97288, 0.96407, 0.93959,
                       0.92095, 0.90097, 0.88608, 0.87661, 0.87438, 0.87342, 0.87261};
  const Curve noise = {0.99845, 0.99759, 0.99640, 0.99234, 0.98708, 0.98378, 0.97283,
                       0.96428, 0.95374, 0.93828, 0.89885, 0.83032, 0.68003, 0.61626};
  const struct {
    Curve curve;
    double target;
    int position;
    std::size_t mostProbes;
  } rows[] = {
      {exponential(0.98, 0.1), 0.97, 11, 3},
      {exponential(0.98, 0.1), 0.98, 10, 3},
      {exponential(0.995, 0.08), 0.99, 12, 2},
      {exponential(0.95, 0.12), 0.99, 1, 5},
      {exponential(0.999, 0.1), 0.95, 13, 1},    // the last position meets: one encode
      {exponential(0.80, 0.1), 0.99, 0, 4},      // none meets: the best there is
      {flatThenSteep, 0.985, 10, 4},
      {flatThenSteep, 0.9965, 5, 6},  // a flat stretch gives the line no slope to go by
      {grain, 0.95, 5, 4},
      {noise, 0.95, 8, 3},
  };
  for (const auto& row : rows) {
    std::vector<ProbePoint> points;
    while (const std::optional<int> next = NextProbe(points, row.target)) {
      ASSERT_LT(points.size(), 8u) << "the search does not end";
      for (const ProbePoint& point : points) ASSERT_NE(point.position, *next);
      points.push_back({*next, row.curve[*next], 0, 0});
    }
    EXPECT_EQ(ChosenPosition(points, row.target), row.position) << row.target;
    EXPECT_LE(points.size(), row.mostProbes) << row.target;
    // The choice is proven: the position above it was measured and missed.
    if (row.position < kCrfPositions - 1 && row.curve[row.position] >= row.target) {
      EXPECT_TRUE(std::any_of(points.begin(), points.end(), [&](const ProbePoint& p) {
        return p.position == row.position + 1;
      }));
    }
  }
}

TEST(TargetSearch, ReadsTheToolsSpeed) {
  EXPECT_DOUBLE_EQ(LastSpeed("frame=1 speed=4.19x\nframe= 9 speed= 6.25x    \n"), 6.25);
  EXPECT_DOUBLE_EQ(LastSpeed("frame=1 speed=N/A\n"), 0);
  EXPECT_DOUBLE_EQ(LastSpeed("no progress"), 0);
  EXPECT_EQ(CrfOfPosition(0), 3);
  EXPECT_EQ(CrfOfPosition(13), 30);
  EXPECT_EQ(CrfOfPosition(14), 14);
}

}  // namespace
}  // namespace vexlo::jobs
