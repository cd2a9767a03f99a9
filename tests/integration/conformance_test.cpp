// Every output checked against its request, with the real ffmpeg and ffprobe: batch items over
// a table of requests (resize, frame rate, short GOP, profile, a 10-bit source into 8-bit H.264)
// and of planted faults (a stand-in ffmpeg.bin that drops frames, or that makes a GOP of 9 and
// another profile), the window's encode with the same fault, and raw H.264 and H.265 streams read
// in-process against the prober's reading of them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "analysis/OutputLength.h"
#include "analysis/RawStream.h"
#include "jobs/Batch.h"
#include "platform/Processes.h"
#include "res/ControlIds.h"
#include "tests/support/Support.h"
#include "tests/support/WindowJobs.h"

namespace vexlo::jobs {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

// An ffmpeg.bin in `folder` that runs the real one with each argument `a` (after `prev`; `i` of
// `n`) rewritten by `rewrite`, a shell command that may change `a` or add arguments before it.
void StandIn(const std::string& folder, const std::string& rewrite) {
  std::ofstream(folder + "/ffmpeg.bin")
      << "#!/bin/sh\nn=$# i=0 prev=\nfor a; do\n  i=$((i+1))\n  " << rewrite
      << "\n  prev=$a\n  set -- \"$@\" \"$a\"\ndone\nshift $n\nexec " << VEXLO_FFMPEG_PATH
      << " \"$@\"\n";
  fs::permissions(folder + "/ffmpeg.bin", fs::perms::owner_all);
}

// Makes a clip of 4 s at 25 frames/s (100 frames) with the real ffmpeg, in `pixelFormat`.
std::string MakeClip(const std::string& folder, const std::string& name, const std::string& how,
                     const std::string& pixelFormat = "yuv420p") {
  const std::string path = folder + "/" + name;
  const std::string make = std::string(VEXLO_FFMPEG_PATH) + " -v error -y -f lavfi -i " + how +
                           ":rate=25 -t 4 -c:v libx264 -pix_fmt " + pixelFormat + " " + path;
  EXPECT_EQ(std::system(make.c_str()), 0) << make;
  return path;
}

TEST(Conformance, EveryBatchOutputIsCheckedAgainstItsRequest) {
  const std::string clips = testing::MakeTempDirectory("conformance-clips");
  const std::string testsrc = MakeClip(clips, "testsrc.mp4", "testsrc=size=96x72");
  const std::string ten = MakeClip(clips, "ten.mkv", "mandelbrot=size=96x72", "yuv420p10le");
  const std::string dropFrames = "[ $i = $n ] && set -- \"$@\" -frames:v 80";
  const std::string gopOf9 = "[ \"$prev\" = -g ] && a=9\n  [ \"$a\" = high ] && a=main";
  struct Row {
    std::string name, source, settings, rewrite;
    std::string state;                  // the item's
    std::vector<std::string> warnings;  // the log's, in this order
    Json conformance;                   // the item's JSON member
  };
  const auto same = [](auto expected) { return Json{{"expected", expected}, {"found", expected}}; };
  const Json baseline = {{"expected", "Baseline"}, {"found", "Constrained Baseline"}};
  // clang-format off
  const std::vector<Row> rows = {
      {"resize", testsrc, "resize=1 profile=2", "", "done", {},
       {{"frames", same(100)}, {"width", same(320)}, {"height", same(240)}, {"pix_fmt", same("yuv420p")}, {"profile", same("High")}, {"ok", true}}},
      {"frame rate 23.98 with the fps filter", testsrc, "fps=5", "", "done", {},
       {{"frames", same(96)}, {"width", same(96)}, {"height", same(72)}, {"pix_fmt", same("yuv420p")}, {"profile", baseline}, {"ok", true}}},
      {"H.265 at 5 frames/s with -r alone: two frames over", testsrc, "out=1 fps=1", "", "done", {},
       {{"frames", {{"expected", 20}, {"found", 22}}}, {"width", same(96)}, {"height", same(72)}, {"pix_fmt", same("yuv420p")}, {"ok", true}}},
      {"MPV with a short GOP", testsrc, "out=2 shortgop fps=9", "", "done", {},
       {{"frames", same(120)}, {"width", same(96)}, {"height", same(72)}, {"pix_fmt", same("yuv420p")}, {"longest_gop", {{"at_most", 8}, {"found", 8}}}, {"ok", true}}},
      {"10-bit into 8-bit H.264, main profile", ten, "profile=1 shortgop", "", "done", {},
       {{"frames", same(100)}, {"width", same(96)}, {"height", same(72)}, {"pix_fmt", same("yuv420p")}, {"profile", same("Main")}, {"longest_gop", {{"at_most", 8}, {"found", 8}}}, {"ok", true}}},
      {"frames dropped", testsrc, "resize=2", dropFrames, "failed",
       {"##### WARNING: the output has 80 frames, 100 were expected ######\r\n"},
       {{"frames", {{"expected", 100}, {"found", 80}}}, {"width", same(640)}, {"height", same(480)}, {"pix_fmt", same("yuv420p")}, {"profile", baseline}, {"ok", false}}},
      {"a GOP of 9 and the main profile for high", ten, "shortgop profile=2", gopOf9, "done",
       {"##### WARNING: the output's H.264 profile is Main, High was expected ######\r\n",
        "##### WARNING: the output's longest GOP has 9 frames, at most 8 were expected ######\r\n"},
       {{"frames", same(100)}, {"width", same(96)}, {"height", same(72)}, {"pix_fmt", same("yuv420p")}, {"profile", {{"expected", "High"}, {"found", "Main"}}}, {"longest_gop", {{"at_most", 8}, {"found", 9}}}, {"ok", false}}},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    BatchRequest request;
    request.programDir = testing::MakeTempDirectory("conformance-program");
    request.outputDir = testing::MakeTempDirectory("conformance-out");
    request.sources = {row.source};
    request.settings = testing::ParseSettings(row.settings);
    request.json = true;
    fs::create_symlink(VEXLO_FFPROBE_PATH, request.programDir + "/ffprobe.bin");
    if (row.rewrite.empty()) {
      fs::create_symlink(VEXLO_FFMPEG_PATH, request.programDir + "/ffmpeg.bin");
    } else {
      StandIn(request.programDir, row.rewrite);
    }
    std::string log;
    std::vector<Json> items;
    BatchOutput output;
    output.log = [&](std::string_view line) { log += line; };
    output.json = [&](std::string_view object) { items.push_back(Json::parse(object)); };
    BatchStop stop;
    const int status = RunBatch(request, output, stop);
    ASSERT_EQ(items.size(), 1u) << log;
    const Json& item = items[0];
    EXPECT_EQ(status, row.state == "done" ? 0 : 1) << log;
    EXPECT_EQ(item["state"], row.state) << item;
    EXPECT_EQ(item.value("conformance", Json()), row.conformance) << item;
    std::size_t at = 0;
    for (const std::string& warning : row.warnings) {
      at = log.find(warning, at);
      EXPECT_NE(at, std::string::npos) << warning << " in:\n" << log;
    }
    EXPECT_EQ(testing::Count(log, "##### WARNING"), row.warnings.size()) << log;
    const std::string stem = fs::path(row.source).stem().string();
    const std::string ext = row.settings.find("out=1") != std::string::npos   ? ".H265"
                            : row.settings.find("out=2") != std::string::npos ? ".MPV"
                                                                              : ".H264";
    if (row.state == "failed") {
      // Kept under the incomplete name, never under the output's; the reason says why.
      EXPECT_EQ(item["reason"],
                "the output has 80 frames, 100 were expected; what was written is "
                "kept as " +
                    request.outputDir + "/" + stem + ".incomplete" + ext);
      EXPECT_FALSE(fs::exists(request.outputDir + "/" + stem + ext));
    } else {
      EXPECT_TRUE(fs::exists(request.outputDir + "/" + stem + ext)) << log;
    }
  }
}

std::string Described(const analysis::OutputVideo& video) {
  return std::to_string(video.found) + " " + std::to_string(video.frames.value_or(-1)) + " " +
         std::to_string(video.size.width) + "x" + std::to_string(video.size.height) + " " +
         video.pixelFormat + " " + video.profile + " GOP " +
         std::to_string(video.longestGop.value_or(-1));
}

// Raw H.264 and H.265 encodes read in-process give what the prober's reading of the same file
// gives, with and without the GOP: frames, size, pixel format, profile, longest GOP, and a rate
// that makes the prober's length; streams the reader cannot vouch for give nothing.
TEST(RawStream, ReadsWhatTheProberReads) {
  const std::string folder = testing::MakeTempDirectory("raw-stream");
  fs::create_symlink(VEXLO_FFPROBE_PATH, folder + "/ffprobe.bin");
  struct Row {
    std::string source, options;
    bool reads;  // false: the reader leaves the stream to the prober
  };
  const std::string x264 = "-vcodec libx264 -tune zerolatency ",
                    x265 = "-vcodec libx265 -x265-params log-level=error ";
  // clang-format off
  const std::vector<Row> rows = {
      {"testsrc2=size=318x238:rate=25", x264 + "-g 64 -preset slow -vprofile baseline -pix_fmt yuv420p -crf 12", true},
      {"mandelbrot=size=160x120:rate=24000/1001", x264 + "-g 8 -vprofile main -pix_fmt yuv420p -crf 13", true},
      {"testsrc2=size=160x120:rate=5", "-vcodec libx264 -g 8 -vprofile high -t 6", true},  // B-frames
      {"testsrc2=size=160x120:rate=50", x264 + "-g 8 -pix_fmt yuv420p10le", true},
      {"testsrc2=size=158x118:rate=25", x264 + "-pix_fmt yuv422p10le -r 23.98", true},
      {"testsrc2=size=160x120:rate=25", x264 + "-pix_fmt yuv444p -r 7.3", true},
      {"testsrc2=size=160x120:rate=25", x264 + "-x264-params intra-refresh=1:keyint=10", true},
      {"testsrc2=size=160x120:rate=25", x264 + "-g 7 -pix_fmt yuvj420p", true},
      {"testsrc2=size=160x120:rate=25", "-vcodec libx264 -g 20 -x264-params open-gop=1", true},
      {"testsrc2=size=160x120:rate=25", "-vcodec libx264 -flags +ildct+ilme", false},  // interlaced
      {"testsrc2=size=160x120:rate=25", x264 + "-pix_fmt gray", false},
      {"testsrc2=size=318x238:rate=25", x265 + "-vprofile main -pix_fmt yuv420p -crf 14 -g 160", true},
      {"mandelbrot=size=160x120:rate=24000/1001", x265 + "-tune zerolatency -g 8 -pix_fmt yuv420p10le", true},
      {"testsrc2=size=158x118:rate=50", x265 + "-pix_fmt yuv422p10le", true},
      {"testsrc2=size=160x120:rate=5", x265 + "-tune zerolatency -g 8 -pix_fmt yuv444p -t 6", true},
      {"testsrc2=size=160x120:rate=25", x265 + "-pix_fmt yuv420p12le", true},
      {"testsrc2=size=160x120:rate=25", x265 + "-x265-params log-level=error:vui-timing-info=0", false},
  };
  // clang-format on
  int index = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.options);
    const bool h265 = row.options.find("libx265") != std::string::npos;
    const auto codec = h265 ? analysis::RawCodec::kH265 : analysis::RawCodec::kH264;
    const std::string path = folder + "/" + std::to_string(++index) + (h265 ? ".H265" : ".H264");
    const std::string encode = std::string(VEXLO_FFMPEG_PATH) + " -v quiet -y -f lavfi -i " +
                               row.source + " -t 2 " + row.options +
                               (h265 ? " -f hevc " : " -f h264 ") + path;
    ASSERT_EQ(std::system(encode.c_str()), 0) << encode;
    for (const bool gop : {false, true}) {
      const std::string report =
          testing::Capture(analysis::OutputVideoCommandLine(folder, path, gop));
      const auto reading = analysis::ReadRawStream(path, codec, gop);
      ASSERT_EQ(reading.has_value(), row.reads) << report;
      if (!reading) continue;
      EXPECT_EQ(Described(reading->video), Described(analysis::ReadOutputVideo(report)));
      // Fed three bytes at a time, every start code is cut somewhere: the same reading.
      const std::string bytes = testing::ReadAll(path);
      analysis::RawStreamReader reader(codec, gop);
      for (std::size_t at = 0; at < bytes.size(); at += 3) {
        reader.Feed(reinterpret_cast<const std::uint8_t*>(bytes.data()) + at,
                    std::min<std::size_t>(3, bytes.size() - at));
      }
      const auto fed = reader.Finish();
      EXPECT_EQ(fed ? Described(fed->video) : "", Described(reading->video));
      const double ms = static_cast<double>(*reading->video.frames) * 1000 / *reading->frameRate;
      EXPECT_NEAR(ms, static_cast<double>(analysis::ReadOutputLength(report).value_or(0)), 1)
          << report;
    }
  }
}

class WindowConformance : public testing::WindowJobs {};

// The window's encode through a stand-in that drops frames and makes a GOP of 9: the two warnings
// come after the tool's end and before the end line, the encode still ends as a success.
TEST_F(WindowConformance, TheWindowWarnsAfterTheEncode) {
  const std::string source = MakeClip(program_, "clip.mp4", "testsrc=size=64x48");
  fs::create_symlink(VEXLO_FFPROBE_PATH, program_ + "/ffprobe.bin");
  StandIn(program_, "[ \"$prev\" = -g ] && a=9\n  [ $i = $n ] && set -- \"$@\" -frames:v 90");
  Open(source, program_ + "/out.H264");
  host_.setChecked(res::id::kShortGopCheck, true);
  ASSERT_TRUE(RunJob(res::id::kEncodeVideo));
  const std::string log = Log();
  const auto warnings = log.find("##### WARNING: the output has 90 frames, 100 were expected");
  EXPECT_LT(log.find("frame=   90"), warnings) << log;
  EXPECT_LT(warnings, log.find("##### WARNING: the output's longest GOP has 9 frames, at most 8 "
                               "were expected ######\r\n##### END CONVERSION ######"))
      << log;
  EXPECT_EQ(host_.progress(), 100);
  EXPECT_EQ(log.find("ERROR"), std::string::npos) << log;

  // A prober that never ends: Cancel stops the check with it, and the window does not wait for it.
  fs::remove(program_ + "/ffprobe.bin");
  std::ofstream(program_ + "/ffprobe.bin") << "#!/bin/sh\necho $$ > prober.pid\nexec sleep 600\n";
  fs::permissions(program_ + "/ffprobe.bin", fs::perms::owner_all);
  window_->onCommand(res::id::kEncodeVideo, hosts::ControlEvent::kClicked);
  // The file exists before the shell has written its line.
  const std::string pidFile = program_ + "/prober.pid";
  ASSERT_TRUE(host_.pumpUntil([&] { return testing::ReadAll(pidFile).ends_with('\n'); }));
  Press(res::id::kCancel);
  const long prober = std::stol(testing::ReadAll(pidFile));
  EXPECT_FALSE(platform::ProcessExists(prober));
  EXPECT_TRUE(host_.pumpUntil([&] { return testing::Count(Log(), "END CONVERSION") == 2; }));
  EXPECT_EQ(testing::Count(Log(), "WARNING"), 2u) << Log();  // the first encode's only
}

}  // namespace
}  // namespace vexlo::jobs
