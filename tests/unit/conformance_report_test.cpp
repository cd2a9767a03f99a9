// The reading of the prober's reports of an output's packets and a source's header (texts as
// ffprobe 5.1 wrote them), and the comparison with a request, over tables.
#include <gtest/gtest.h>

#include "analysis/Conformance.h"
#include "analysis/InputReport.h"
#include "encode/EncoderSettings.h"
#include "jobs/ConformanceCheck.h"
#include "tests/support/Support.h"

namespace vexlo::analysis {
namespace {

// A raw H.264 stream at 5 frames/s with a GOP of 8 and a scene cut at its third frame.
constexpr std::string_view kRawH264 =
    "[PACKET]\nflags=K_\n[/PACKET]\n[PACKET]\nflags=__\n[/PACKET]\n[PACKET]\nflags=K_\n[/PACKET]\n"
    "[PACKET]\nflags=__\n[/PACKET]\n[PACKET]\nflags=__\n[/PACKET]\n[PACKET]\nflags=__\n[/PACKET]\n"
    "[STREAM]\nprofile=Constrained Baseline\ncodec_type=video\nwidth=320\nheight=240\n"
    "pix_fmt=yuv420p\nr_frame_rate=5/1\navg_frame_rate=5/1\nnb_read_packets=6\n[/STREAM]\n"
    "[FORMAT]\nduration=N/A\n[/FORMAT]\n";

// A report of packets (timestamp, flags) in decoding order and a video stream with `bFrames`.
std::string Packets(const std::vector<std::pair<std::string, std::string>>& packets,
                    const std::string& bFrames) {
  std::string report;
  for (const auto& [pts, flags] : packets) {
    report += "[PACKET]\npts=" + pts + "\nflags=" + flags + "\n[/PACKET]\n";
  }
  return report + "[STREAM]\ncodec_type=video\nhas_b_frames=" + bFrames +
         "\nnb_read_packets=" + std::to_string(packets.size()) + "\n[/STREAM]\n";
}

TEST(ConformanceReport, ReportsAreReadAsTheProberWritesThem) {
  struct Row {
    std::string report;
    bool found;
    std::optional<std::int64_t> frames;
    PictureSize size;
    std::string pixelFormat, profile;
    std::optional<int> longestGop;
  };
  std::string crlf;
  for (char c : kRawH264) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  // clang-format off
  const std::vector<Row> rows = {
      {std::string(kRawH264), true, 6, {320, 240}, "yuv420p", "Constrained Baseline", 4},
      {crlf, true, 6, {320, 240}, "yuv420p", "Constrained Baseline", 4},
      // no packets listed: no GOP; a second video stream does not count
      {"[STREAM]\nprofile=Main\ncodec_type=video\nwidth=64\nheight=48\npix_fmt=yuv420p10le\n"
       "nb_read_packets=75\n[/STREAM]\n[STREAM]\ncodec_type=video\nwidth=9\nnb_read_packets=1\n"
       "[/STREAM]\n", true, 75, {64, 48}, "yuv420p10le", "Main", std::nullopt},
      // a first packet that is no key frame starts a GOP of its own
      {"[PACKET]\nflags=__\n[/PACKET]\n[PACKET]\nflags=__\n[/PACKET]\n[PACKET]\nflags=K_\n"
       "[/PACKET]\n[STREAM]\ncodec_type=video\nnb_read_packets=3\n[/STREAM]\n",
       true, 3, {}, "", "", 2},
      {"[STREAM]\ncodec_type=audio\nnb_read_packets=10\n[/STREAM]\n", false, std::nullopt, {}, "", "", std::nullopt},
      {"width=99999999999999999999\nnb_read_packets=-3\n", false, std::nullopt, {}, "", "", std::nullopt},
      {"", false, std::nullopt, {}, "", "", std::nullopt},
      // an open GOP: the key frame at 6 is decoded before 4 and 5, which are shown before it
      {Packets({{"0", "K_"}, {"1", "__"}, {"2", "__"}, {"3", "__"}, {"6", "K_"}, {"4", "__"}, {"5", "__"}, {"7", "__"}}, "2"),
       true, 8, {}, "", "", 6},
      // the same without timestamps (a raw stream) and with B-frames: the GOP is not known
      {Packets({{"N/A", "K_"}, {"N/A", "__"}, {"N/A", "K_"}}, "2"), true, 3, {}, "", "", std::nullopt},
      {Packets({{"N/A", "K_"}, {"N/A", "__"}, {"N/A", "K_"}}, "0"), true, 3, {}, "", "", 2},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.report);
    const OutputVideo output = ReadOutputVideo(row.report);
    EXPECT_EQ(output.found, row.found);
    if (!row.found) continue;
    EXPECT_EQ(output.frames, row.frames);
    EXPECT_EQ(output.size, row.size);
    EXPECT_EQ(output.pixelFormat, row.pixelFormat);
    EXPECT_EQ(output.profile, row.profile);
    EXPECT_EQ(output.longestGop, row.longestGop);
  }
  // A source: MP4 gives its frames; Matroska only a DURATION tag; a raw stream no length at all.
  const SourceVideo mp4 = ReadSourceVideo(
      "[STREAM]\nwidth=64\nheight=48\nr_frame_rate=25/1\navg_frame_rate=25/1\nduration=4.000000\n"
      "nb_frames=100\n[/STREAM]\n[FORMAT]\nduration=4.100000\n[/FORMAT]\n");
  EXPECT_EQ(mp4.frames, 100);
  EXPECT_EQ(mp4.seconds, 4.0);
  EXPECT_EQ(mp4.frameRate, 25.0);
  EXPECT_EQ(mp4.size, (PictureSize{64, 48}));
  const SourceVideo mkv = ReadSourceVideo(
      "[STREAM]\nr_frame_rate=30000/1001\navg_frame_rate=0/0\nduration=N/A\nnb_frames=N/A\n"
      "TAG:DURATION=00:00:04.004000000\n[/STREAM]\n[FORMAT]\nduration=4.100000\n[/FORMAT]\n");
  EXPECT_EQ(mkv.frames, std::nullopt);
  EXPECT_EQ(mkv.seconds, 4.004);
  EXPECT_NEAR(*mkv.frameRate, 29.97, 0.001);
  const SourceVideo raw =
      ReadSourceVideo("[STREAM]\nduration=N/A\n[/STREAM]\n[FORMAT]\nduration=N/A\n[/FORMAT]\n");
  EXPECT_FALSE(raw.seconds);
}

TEST(ConformanceReport, EachDifferenceIsOneWarning) {
  const SourceVideo source{250, 10.0, 25.0, {64, 48}};
  const SourceVideo ntsc{std::nullopt, 4.004, 30000.0 / 1001, {64, 48}};
  const OutputVideo output = ReadOutputVideo(kRawH264);  // 6 frames, 320x240, GOP 4
  struct Row {
    ConformanceRequest request;
    SourceVideo source;
    std::vector<std::string> warnings;
    bool framesShort = false;
  };
  constexpr PictureSize kAsked{320, 240};
  const ConformanceRequest all{true, 0.6, kAsked, "yuv420p", "baseline", 4};
  ConformanceRequest kept = all;  // the source's rate and size: 250 frames, 64x48
  kept.frameRate.reset();
  kept.size.reset();
  const ConformanceRequest other{true, 1.0, PictureSize{320, 200}, "yuv420p10le", "high", 3};
  // clang-format off
  const std::vector<Row> rows = {
      {all, source, {}},  // 10 s at 0.6 frames/s: 6
      {{true, 0.3, kAsked, "", "", 0}, source, {}},  // 3, within three frames
      {{true, 0.2, kAsked, "", "", 0}, source, {"the output has 6 frames, 2 were expected"}},
      {{false, 0.2, kAsked, "", "", 0}, source, {}},  // frames not asked for
      {kept, ntsc, {"the output has 6 frames, 120 were expected", "the output is 320x240 pixels, 64x48 were expected"}, true},
      {kept, source, {"the output has 6 frames, 250 were expected", "the output is 320x240 pixels, 64x48 were expected"}, true},
      {other, source,
       {"the output has 6 frames, 10 were expected", "the output is 320x240 pixels, 320x200 were expected",
        "the output's pixel format is yuv420p, yuv420p10le was expected",
        "the output's H.264 profile is Constrained Baseline, High was expected",
        "the output's longest GOP has 4 frames, at most 3 were expected"},
       true},
      {kept, SourceVideo{}, {}},  // a source that tells nothing: only what was asked outright
  };
  // clang-format on
  for (const Row& row : rows) {
    const ConformanceReport report = CompareOutput(row.request, row.source, output);
    std::vector<std::string> expected;
    for (const std::string& text : row.warnings)
      expected.push_back("##### WARNING: " + text + " ######\r\n");
    EXPECT_EQ(ConformanceWarnings(report), expected);
    EXPECT_EQ(report.ok(), row.warnings.empty());
    EXPECT_EQ(report.framesShort(), row.framesShort);
  }
  EXPECT_TRUE(CompareOutput(all, source, OutputVideo{}).ok());  // no video: nothing compared
}

// The source as an encode's own report gives it, only where that report cannot mislead.
TEST(ConformanceReport, TheEncodesReportStandsForTheSourceOnlyWhenItCannotMislead) {
  const std::string input = "Input #0, mov,mp4,m4a,3gp,3g2,mj2, from 'a, b.mp4':\n";
  const std::string duration = "  Duration: 00:00:03.00, start: 0.000000, bitrate: 166 kb/s\n";
  const std::string video =
      "  Stream #0:0[0x1](und): Video: h264 (High 4:4:4 Predictive) (avc1 / 0x31637661), "
      "yuv444p(tv, bt709, progressive), 320x240 [SAR 1:1 DAR 4:3], 162 kb/s, 25 fps, 25 tbr\n";
  const std::string output = "Output #0, h264, to 'o.H264':\n  Stream #0:0: Video: h264, "
                             "yuv420p, 640x480, q=2-31, 50 fps, 50 tbn\n";
  const std::string audio = "  Stream #0:1[0x2](und): Audio: aac (LC), 48000 Hz, stereo\n";
  struct Row {
    std::string report;
    bool stands;
  };
  const std::vector<Row> rows = {
      {input + duration + video + output, true},
      {"ffmpeg version 5.1\n" + input + duration + video, true},
      {input + duration + video + audio + output, false},  // the file's length may be the sound's
      {input + "  Duration: N/A, bitrate: N/A\n" + video, false},
      {input + duration + "  Stream #0:0: Video: h264, yuv420p, 320x240, 23.98 fps\n", false},
      {input + duration + "  Stream #0:0: Video: h264, yuv420p, 25 fps\n", false},  // no size
      {duration + video, false},  // no input named
      {input + duration + audio, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.report);
    InputReport report;
    std::string_view text = row.report;
    while (!text.empty()) {
      report.Read(text.substr(0, text.find('\n')));
      text.remove_prefix(text.find('\n') + 1);
    }
    const std::optional<SourceVideo> source = report.Video();
    ASSERT_EQ(source.has_value(), row.stands);
    if (!source) continue;
    EXPECT_EQ(source->size, (PictureSize{320, 240}));
    EXPECT_EQ(source->frameRate, 25.0);
    EXPECT_EQ(source->seconds, 3.0);
    EXPECT_FALSE(source->frames);
  }
}

// The request of each kind of encode: what its settings and command line ask.
TEST(ConformanceReport, TheRequestIsWhatTheSettingsAsk) {
  const auto request = [](const std::string& settings, const std::string& source) {
    return jobs::ConformanceRequestFor(testing::ParseSettings(settings),
                                       "ffmpeg.bin -i \"S\" -pix_fmt yuv420p -crf 3 \"D\"", source);
  };
  const ConformanceRequest h264 = request("fps=5 resize=15 profile=1 shortgop", "a.mp4");
  EXPECT_TRUE(h264.frames);
  EXPECT_EQ(h264.frameRate, 23.98);
  EXPECT_EQ(h264.size, (PictureSize{4096, 2160}));
  EXPECT_EQ(h264.pixelFormat, "yuv420p");
  EXPECT_EQ(h264.profile, "main");
  EXPECT_EQ(h264.longestGop, 8);
  const ConformanceRequest h265 = request("out=1 resize=15 profile=2", "a.mp4");
  EXPECT_FALSE(h265.size);  // its builders know no 16th size
  EXPECT_EQ(h265.profile, "");
  const ConformanceRequest png = request("fps=7 shortgop resize=1", "seq/img_0001.png");
  EXPECT_FALSE(png.frames);
  EXPECT_FALSE(png.frameRate);
  EXPECT_EQ(png.longestGop, 0);  // its builders have no GOP piece
  EXPECT_EQ(png.size, (PictureSize{320, 240}));
}

}  // namespace
}  // namespace vexlo::analysis
