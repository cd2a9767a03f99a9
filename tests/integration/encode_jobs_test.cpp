// The encode jobs end to end: the window's logic over the fake host runs the real ffmpeg on clips
// made at test time, and ffprobe checks what came out.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "app/RegistryStore.h"
#include "app/VexloDlg.h"
#include "res/ControlIds.h"
#include "tests/support/FakeDialogHost.h"

namespace vexlo::app {
namespace {

namespace fs = std::filesystem;
namespace id = res::id;
using platform::ControlEvent;

constexpr std::string_view kStart = "##### START CONVERSION ######";
constexpr std::string_view kEnd = "##### END CONVERSION ######";
constexpr std::string_view kError = "##### CONVERSION  ERROR ######";
constexpr std::string_view kStop = "##### STOP CURRENT CONVERSION..... ######";
constexpr int kFps25 = 7;  // "Force FPS" position of 25

// Runs a shell command line (tools from the build's configuration, paths of our own making);
// returns its standard output with line feeds turned into blanks.
std::string Capture(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    std::array<char, 512> buffer{};
    while (fgets(buffer.data(), buffer.size(), pipe)) out += buffer.data();
    ::pclose(pipe);
  }
  for (char& c : out) c = c == '\n' ? ' ' : c;
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

bool Make(const std::string& arguments) {
  return std::system(
             (std::string("\"") + VEXLO_FFMPEG_PATH + "\" -v error -y " + arguments).c_str()) == 0;
}

// "key=value" pairs of one stream (and the format when asked), in ffprobe's order.
std::string Probe(const fs::path& file, const std::string& stream, const std::string& entries) {
  return Capture(std::string("\"") + VEXLO_FFPROBE_PATH + "\" -v error -count_frames " +
                 "-select_streams " + stream + " -show_entries " + entries +
                 " -of default=noprint_wrappers=1 \"" + file.string() + "\"");
}

class EncodeJobsTest : public ::testing::Test {
 protected:
  // One program folder with ffmpeg.bin, a clip of 25 frames with sound, and ten PNG pictures.
  static void SetUpTestSuite() {
    std::string pattern = ::testing::TempDir() + "vexlo_encode_jobs_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = fs::canonical(pattern);
    fs::create_directories(root_ / "program");
    fs::create_directories(root_ / "seq");
    fs::create_symlink(VEXLO_FFMPEG_PATH, root_ / "program" / "ffmpeg.bin");
    ASSERT_TRUE(
        Make("-f lavfi -i testsrc=size=128x96:rate=25:duration=1 -f lavfi -i "
             "sine=frequency=440:duration=1 -c:v libx264 -pix_fmt yuv420p -c:a aac "
             "-shortest \"" +
             (root_ / "clip.mp4").string() + "\""));
    ASSERT_TRUE(Make("-f lavfi -i testsrc=size=128x96:rate=25 -frames:v 10 \"" +
                     (root_ / "seq" / "img_%04d.png").string() + "\""));
    std::ofstream(root_ / "garbage.mov") << "this is no video";
  }
  static void TearDownTestSuite() { fs::remove_all(root_); }

  void SetUp() override {
    const fs::path config =
        root_ /
        ("config-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::create_directories(config);
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    window_ = std::make_unique<CVexloDlg>(host_, store_, (root_ / "program").string());
    window_->onInitDialog();
    host_.runPosted();
  }
  void TearDown() override {
    window_->onDestroy();
    window_.reset();
    fs::current_path(root_);
  }

  // Fills the controls the way a user would before pressing a button.
  void Prepare(const fs::path& source, int outType, int fps) {
    host_.setText(id::kSourceEdit, source.string());
    const int radios[] = {id::kRadioH264, id::kRadioH265, id::kRadioMpv};
    for (int i = 0; i < 3; ++i) host_.setChecked(radios[i], i == outType);
    host_.setListIndex(id::kFpsList, fps);
  }

  std::string Log() {
    window_->flushLog();
    return window_->logReference()->paneText();
  }

  // Presses a button and waits until the job's end line is in the log, the controls are enabled
  // again and the bar stands at 100 (the finished notification posts the last two).
  bool RunJob(int button) {
    window_->onCommand(button, ControlEvent::kClicked);
    return host_.pumpUntil(
        [&] {
          return Log().find(kEnd) != std::string::npos && window_->controlsEnabled() &&
                 host_.progress() == 100;
        },
        std::chrono::seconds(120));
  }

  static fs::path root_;
  testing::FakeDialogHost host_;
  RegistryStore store_;
  std::unique_ptr<CVexloDlg> window_;
};

fs::path EncodeJobsTest::root_;

TEST_F(EncodeJobsTest, EachJobWritesWhatItPromises) {
  struct Row {
    const char* name;
    int button;
    int outType;
    const char* source;  // under the test folder
    int fps;
    const char* output;
    std::string stream;
    std::string entries;
    std::string expected;
  };
  const std::string video = "stream=codec_name,nb_read_frames";
  const std::string mp4 = "stream=codec_name,nb_read_frames:format=format_name";
  const std::string mov = "format_name=mov,mp4,m4a,3gp,3g2,mj2";
  const Row rows[] = {
      {"H.264", id::kEncodeVideo, 0, "clip.mp4", 0, "out.H264", "v:0", video,
       "codec_name=h264 nb_read_frames=25"},
      {"H.265", id::kEncodeVideo, 1, "clip.mp4", 0, "out.H265", "v:0", video,
       "codec_name=hevc nb_read_frames=25"},
      {"MPV", id::kEncodeVideo, 2, "clip.mp4", 0, "out.MPV", "v:0", mp4,
       "codec_name=hevc nb_read_frames=25 " + mov},
      {"WAV", id::kEncodeAudio, 0, "clip.mp4", 0, "sound.WAV", "a:0",
       "stream=codec_name,sample_rate", "codec_name=pcm_s16le sample_rate=48000"},
      {"PNG to H.264", id::kEncodeVideo, 0, "seq/img_0001.png", kFps25, "png.H264", "v:0", video,
       "codec_name=h264 nb_read_frames=10"},
      {"PNG to H.265", id::kEncodeVideo, 1, "seq/img_0001.png", kFps25, "png.H265", "v:0", video,
       "codec_name=hevc nb_read_frames=10"},
      {"PNG to MPV", id::kEncodeVideo, 2, "seq/img_0001.png", kFps25, "png.MPV", "v:0", mp4,
       "codec_name=hevc nb_read_frames=10 " + mov},
      {"MJPEG test encode", id::kTestEncode, 0, "clip.mp4", 0, "test.avi", "v:0", video,
       "codec_name=mjpeg nb_read_frames=25"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TearDown();
    SetUp();
    const fs::path output = root_ / row.output;
    Prepare(root_ / row.source, row.outType, row.fps);
    host_.setText(row.button == id::kEncodeAudio ? id::kAudioDestEdit : id::kVideoDestEdit,
                  output.string());
    ASSERT_TRUE(RunJob(row.button));
    const std::string log = Log();
    EXPECT_NE(log.find(kStart), std::string::npos) << log;
    EXPECT_EQ(log.find("ERROR"), std::string::npos) << log;
    EXPECT_EQ(Probe(output, row.stream, row.entries), row.expected);
  }
}

// Frame rate, deinterlacing and resizing all reach the tool through one filter chain.
TEST_F(EncodeJobsTest, ThreeFiltersAllTakeEffect) {
  Prepare(root_ / "clip.mp4", 0, 5);       // 23.98 frames per second
  host_.setListIndex(id::kResizeList, 1);  // 320x240
  host_.setChecked(id::kDeinterlaceCheck, true);
  const fs::path output = root_ / "filters.H264";
  host_.setText(id::kVideoDestEdit, output.string());
  ASSERT_TRUE(RunJob(id::kEncodeVideo));
  EXPECT_EQ(Probe(output, "v:0", "stream=codec_name,width,height,nb_read_frames"),
            "codec_name=h264 width=320 height=240 nb_read_frames=24");
}

TEST_F(EncodeJobsTest, AnUnreadableSourceEndsWithTheErrorLine) {
  Prepare(root_ / "garbage.mov", 0, 0);
  host_.setText(id::kVideoDestEdit, (root_ / "garbage.H264").string());
  ASSERT_TRUE(RunJob(id::kEncodeVideo));
  const std::string log = Log();
  const auto error = log.find(kError);
  ASSERT_NE(error, std::string::npos) << log;
  EXPECT_GT(log.find(kEnd), error);
}

TEST_F(EncodeJobsTest, CancelStopsARunningEncode) {
  const fs::path longClip = root_ / "long.mp4";
  ASSERT_TRUE(
      Make("-f lavfi -i testsrc=size=320x240:rate=25:duration=60 -c:v libx264 -preset "
           "ultrafast -pix_fmt yuv420p \"" +
           longClip.string() + "\""));
  Prepare(longClip, 0, 0);
  host_.setText(id::kVideoDestEdit, (root_ / "long.H264").string());
  window_->onCommand(id::kEncodeVideo, ControlEvent::kClicked);
  // The tool is under way once it has reported the input's duration.
  ASSERT_TRUE(host_.pumpUntil([&] { return window_->jobFigures().durationMs.load() > 0; }));
  window_->onCommand(id::kCancel, ControlEvent::kClicked);
  host_.runPosted();
  const std::string log = Log();
  const auto stop = log.find(kStop);
  ASSERT_NE(stop, std::string::npos) << log;
  EXPECT_GT(log.find(kEnd), stop) << log;
  EXPECT_EQ(log.find(kError), std::string::npos) << log;
  EXPECT_EQ(host_.progress(), 0);
  EXPECT_TRUE(window_->controlsEnabled());
}

}  // namespace
}  // namespace vexlo::app
