// The quality measurement end to end: vexlo --measure over real encodes against FFmpeg's own ssim
// and psnr filters run by hand on the same pair, its refusals and failures, and the batch's
// --measure.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>

#include "platform/ChildProcess.h"
#include "res/ControlIds.h"
#include "tests/support/Support.h"
#include "tests/support/WindowJobs.h"

namespace vexlo {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

const fs::path kVexlo = fs::path(VEXLO_TEST_BINARY_DIR).parent_path() / "vexlo";
const std::string kFfmpeg = std::string("\"") + VEXLO_FFMPEG_PATH + "\" -nostdin -y ";

// A test folder with a source; the window's fixture serves File > Measure Quality.
class Measure : public testing::WindowJobs {
 protected:
  void SetUp() override {
    if (!fs::exists(kVexlo)) GTEST_SKIP() << "this build has no vexlo executable";
    // 2 s of 640x480 at 25 frames/s: 50 frames, good enough to be a source.
    Make(
        "-f lavfi -i testsrc2=size=640x480:rate=25:duration=2 -c:v libx264 -crf 10 "
        "-pix_fmt yuv420p src.mp4");
  }
  void Make(const std::string& arguments) {
    ASSERT_EQ(std::system(("cd " + dir_ + " && " + kFfmpeg + "-v error " + arguments).c_str()), 0)
        << arguments;
  }
  // vexlo's exit status; its standard output and error are kept.
  int Run(const std::string& arguments) {
    const int status = std::system(
        ("cd " + dir_ + " && " + kVexlo.string() + " " + arguments + " >out.txt 2>err.txt")
            .c_str());
    out_ = testing::ReadAll(dir_ + "/out.txt");
    err_ = testing::ReadAll(dir_ + "/err.txt");
    const platform::ChildEnd end = platform::DescribeWaitStatus(status);
    return end.exited ? end.exitCode : -1;
  }
  // The figure `name` ("All:", "average:") that FFmpeg's `filter` gives the pair when run by
  // hand: the output first, the source brought to it by `reference`; it stops at the shorter
  // input too, so a cut output is compared frame by frame.
  double ByHand(const std::string& output, const std::string& reference, const std::string& filter,
                const std::string& name) {
    const std::string graph = "[1:v]" + reference + "[ref];[0:v][ref]" + filter + "=shortest=1";
    const std::string text =
        testing::Capture("cd " + dir_ + " && " + kFfmpeg + output + " -i src.mp4 -lavfi \"" +
                         graph + "\" -f null - 2>&1");
    const auto at = text.rfind(name);
    return at == std::string::npos ? -1 : std::atof(text.c_str() + at + name.size());
  }
  std::int64_t FramesOf(const std::string& input) {
    return std::atoll(testing::Capture("cd " + dir_ + " && \"" VEXLO_FFPROBE_PATH "\" -v error " +
                                       input + " -count_frames -show_entries " +
                                       "stream=nb_read_frames -of csv=p=0")
                          .c_str());
  }

  const std::string dir_ = testing::MakeTempDirectory("measure");
  std::string out_, err_;
};

// Each encode is measured by vexlo (line and JSON) and by hand: the figures agree to 4 decimals
// of SSIM and 0.01 dB of PSNR, and the frame counts are the output's and the converted source's.
TEST_F(Measure, AgreesWithFfmpegByHand) {
  const struct {
    const char* what;
    std::string encode;     // the encode's arguments after "-i src.mp4"
    std::string output;     // what it writes
    std::string options;    // given to vexlo --measure
    std::string reference;  // the source brought to the output by hand
    std::string rawRate;    // "-r N" for reading a raw stream by hand
    double sourceRate;      // the source's frames per second at the output's rate
  } rows[] = {
      {"plain H.264", "-c:v libx264 -crf 30", "plain.mp4", "", "null", "", 25},
      {"resized", "-c:v libx264 -vf scale=320x240", "small.mp4", "--resize 1", "scale=320:240", "",
       25},
      {"frame rate changed", "-c:v libx264 -vf fps=fps=20 -r 20", "slow.mp4", "--fps 4",
       "fps=fps=20", "", 20},
      {"frame rate changed without --fps saying so", "-c:v libx264 -vf fps=fps=20 -r 20",
       "untold.mp4", "", "fps=fps=20", "", 20},
      {"10-bit raw H.265 stream at the source's rate",
       "-c:v libx265 -preset ultrafast -pix_fmt yuv420p10le -x265-params log-level=error",
       "ten.h265", "", "format=yuv420p10le", "-r 25", 25},
      {"raw H.264 stream", "-c:v libx264 -crf 35 -r 20 -vf fps=fps=20", "raw.h264", "--fps 4",
       "fps=fps=20", "-r 20", 20},
      {"cut short", "-c:v libx264 -t 1.6", "cut.mp4", "", "null", "", 25},
  };
  const std::int64_t sourceFrames = FramesOf("src.mp4");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Make("-i src.mp4 " + row.encode + " " + row.output);
    ASSERT_EQ(Run("--measure src.mp4 " + row.output + " " + row.options), 0) << err_;
    const std::regex line(row.output +
                          R"(: SSIM (\d\.\d{5}) \(Y \d\.\d{4} U \d\.\d{4} V \d\.\d{4}\), )"
                          R"(PSNR (\d+\.\d\d) dB, (\d+) of (\d+) frames\n)");
    const std::string text = out_;
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(text, parts, line)) << text;
    EXPECT_EQ(err_, "");
    ASSERT_EQ(Run("--json --measure src.mp4 " + row.output + " " + row.options), 0) << err_;
    const Json json = Json::parse(out_);
    EXPECT_EQ(json["source"].get<std::string>() + " " + json["output"].get<std::string>(),
              "src.mp4 " + row.output);
    const std::string input = row.rawRate + " -i " + row.output;
    EXPECT_NEAR(json["ssim"].get<double>(), ByHand(input, row.reference, "ssim", "All:"), 1e-4);
    EXPECT_NEAR(json["psnr"].get<double>(), ByHand(input, row.reference, "psnr", "average:"), 0.01);
    // The line rounds what the JSON holds.
    EXPECT_NEAR(std::stod(parts[1]), json["ssim"].get<double>(), 5e-6);
    EXPECT_NEAR(std::stod(parts[2]), json["psnr"].get<double>(), 5e-3);
    EXPECT_EQ(json["frames"], FramesOf(row.output));
    EXPECT_EQ(json["source_frames"], sourceFrames * row.sourceRate / 25);
    EXPECT_EQ(parts[3], std::to_string(json["frames"].get<int>()));
    EXPECT_EQ(parts[4], std::to_string(json["source_frames"].get<int>()));
  }
}

// Identical frames have no error: PSNR "inf" in the line, null in the JSON. What cannot be
// measured fails with one line and status 1; a bad command line is status 2.
TEST_F(Measure, IdenticalFilesFailuresAndRefusals) {
  Make("-f lavfi -i sine=duration=1 sound.wav");
  ASSERT_EQ(Run("--measure src.mp4 src.mp4"), 0) << err_;
  EXPECT_EQ(out_,
            "src.mp4: SSIM 1.00000 (Y 1.0000 U 1.0000 V 1.0000), PSNR inf dB, 50 of 50 frames\n");
  ASSERT_EQ(Run("--measure src.mp4 src.mp4 --json"), 0) << err_;
  EXPECT_TRUE(Json::parse(out_)["psnr"].is_null());
  const struct {
    std::string arguments;
    int status;
    std::string err;  // what standard error says, after "vexlo: "
  } rows[] = {
      {"--measure gone.mp4 src.mp4", 1, "cannot read the source \"gone.mp4\": No such file"},
      {"--measure src.mp4 gone.mp4", 1, "cannot read the output \"gone.mp4\": No such file"},
      {"--measure src.mp4 sound.wav", 1, "the output \"sound.wav\" has no video stream"},
      {"--measure src.mp4", 2, "--measure SOURCE OUTPUT takes two files"},
      {"--measure src.mp4 src.mp4 --crf 3", 2, "--crf is no option of --measure"},
      {"--measure --output-dir . --type wav src.mp4", 2, "--measure measures video"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.arguments);
    EXPECT_EQ(Run(row.arguments), row.status);
    EXPECT_EQ(out_, "");
    EXPECT_EQ(err_.rfind("vexlo: " + row.err, 0), 0u) << err_;
    EXPECT_EQ(std::count(err_.begin(), err_.end(), '\n'), 1) << err_;
  }
}

// The batch measures each done output with its own settings: the figures in the item's JSON and
// its log line, the same as the measurement of that output alone.
TEST_F(Measure, BatchAddsTheFiguresOfEachDoneItem) {
  fs::create_directories(dir_ + "/out");
  ASSERT_EQ(Run("--output-dir out --measure --json --fps 4 --resize 1 src.mp4 gone.mp4"), 1);
  // Items side by side end in any order: each line names its place in the input.
  const std::size_t newline = out_.find('\n');
  Json item = Json::parse(out_.substr(0, newline)), other = Json::parse(out_.substr(newline + 1));
  if (item["index"] != 1) std::swap(item, other);
  EXPECT_EQ(item["state"], "done");
  const Json& quality = item["quality"];
  ASSERT_TRUE(quality.is_object()) << out_;
  EXPECT_EQ(quality["source_frames"], 40);
  EXPECT_EQ(quality["frames"], 40);
  EXPECT_FALSE(other.contains("quality")) << out_;
  EXPECT_NE(err_.find("done: src.mp4 -> " + dir_ + "/out/src.H264 ("), std::string::npos) << err_;
  EXPECT_NE(err_.find("40 of 40 frames ######"), std::string::npos) << err_;
  ASSERT_EQ(Run("--json --measure src.mp4 out/src.H264 --fps 4"), 0) << err_;
  for (const char* figure : {"ssim", "ssim_y", "ssim_u", "ssim_v", "psnr", "frames"}) {
    EXPECT_EQ(Json::parse(out_)[figure], quality[figure]) << figure;
  }
}

// File > Measure Quality logs the command line's figures of the destination (the item is off
// while it runs), or why there are none.
TEST_F(Measure, WindowMenuLogsTheFiguresOfTheDestination) {
  fs::create_symlink(VEXLO_FFPROBE_PATH, program_ + "/ffprobe.bin");
  fs::create_symlink(VEXLO_FFMPEG_PATH, program_ + "/ffmpeg.bin");
  Make("-i src.mp4 -vf scale=160x120 small.mp4");
  ASSERT_EQ(Run("--measure src.mp4 small.mp4"), 0) << err_;
  const std::string figures = out_.substr(11, out_.size() - 12);  // after "small.mp4: "
  Open(dir_ + "/src.mp4", dir_ + "/small.mp4");
  window_->onCommand(res::kCmdMeasureQuality, hosts::ControlEvent::kClicked);
  EXPECT_FALSE(host_.enabled(res::kCmdMeasureQuality));
  ASSERT_TRUE(WaitForLog("##### QUALITY: " + figures + " ######")) << Log();
  ASSERT_TRUE(host_.pumpUntil([&] { return !window_->measuringQuality(); }));
  EXPECT_TRUE(host_.enabled(res::kCmdMeasureQuality));
  Open(dir_ + "/src.mp4", dir_ + "/gone.mp4");
  Press(res::kCmdMeasureQuality);
  ASSERT_TRUE(WaitForLog("##### ERROR: Quality not measured: cannot read the output")) << Log();
}

// File > Target SSIM 0.99 searches with the window's settings (every target item is off while it
// runs) and puts the position it chose in the CRF list, where the next Encode reads it.
TEST_F(Measure, WindowTargetPutsTheChosenPositionInTheCrfList) {
  fs::create_symlink(VEXLO_FFPROBE_PATH, program_ + "/ffprobe.bin");
  fs::create_symlink(VEXLO_FFMPEG_PATH, program_ + "/ffmpeg.bin");
  Open(dir_ + "/src.mp4", dir_ + "/out.H264");
  host_.setListIndex(res::id::kCrfList, 0);  // CRF 3: a clean test picture meets 0.99 above it
  window_->onCommand(res::id::kCrfList, hosts::ControlEvent::kSelectionChanged);
  window_->onCommand(res::kCmdTargetSsimHigh, hosts::ControlEvent::kClicked);
  for (int item : {res::kCmdTargetSsimLow, res::kCmdTargetSsim, res::kCmdTargetSsimHigh}) {
    EXPECT_FALSE(host_.enabled(item));
  }
  EXPECT_NE(Log().find("##### TARGET SSIM 0.99: " + dir_ + "/src.mp4 ######"), std::string::npos);
  const std::string chosen = "##### TARGET: target SSIM 0.990: position ";
  ASSERT_TRUE(WaitForLog(chosen)) << Log();
  ASSERT_TRUE(host_.pumpUntil([&] { return !window_->measuringQuality(); }));
  const std::string log = Log();
  const int position = std::atoi(log.c_str() + log.find(chosen) + chosen.size());
  EXPECT_GT(position, 0) << log;
  EXPECT_EQ(host_.listIndex(res::id::kCrfList), position) << log;
  EXPECT_TRUE(host_.enabled(res::kCmdTargetSsimLow));
}

}  // namespace
}  // namespace vexlo
