// The analysis buttons end to end: the window's logic over the fake host with the real ffprobe
// and ffmpeg (a stand-in ffmpeg.bin where a conversion must simply keep running).

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/RegistryStore.h"
#include "app/VexloDlg.h"
#include "process/ProcessRunner.h"
#include "res/ControlIds.h"
#include "tests/support/FakeDialogHost.h"

namespace vexlo::app {
namespace {

namespace fs = std::filesystem;
namespace id = res::id;
using platform::ControlEvent;

bool Make(const std::string& arguments) {
  return std::system((std::string("\"") + VEXLO_FFMPEG_PATH + "\" -v error -y " + arguments)
                         .c_str()) == 0;
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class AnalysisButtons : public ::testing::Test {
 protected:
  // A clip with a GOP of 8 and no B-frames, long enough that a whole index takes a while.
  static void SetUpTestSuite() {
    std::string pattern = ::testing::TempDir() + "vexlo_analysis_buttons_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = fs::canonical(pattern);
    ASSERT_TRUE(Make("-f lavfi -i testsrc=size=64x48:rate=25 -t 120 -c:v libx264 -g 8 -bf 0"
                     " -sc_threshold 0 -pix_fmt yuv420p \"" + (root_ / "clip.mp4").string() +
                     "\""));
  }
  static void TearDownTestSuite() { fs::remove_all(root_); }

  void SetUp() override {
    program_ = root_ / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::create_directories(program_ / "config");
    ::setenv("XDG_CONFIG_HOME", (program_ / "config").c_str(), 1);
    fs::create_symlink(VEXLO_FFPROBE_PATH, program_ / "ffprobe.bin");
  }
  void TearDown() override {
    if (window_) window_->onDestroy();
    window_.reset();
    fs::current_path(root_);
  }

  void UseRealFfmpeg() { fs::create_symlink(VEXLO_FFMPEG_PATH, program_ / "ffmpeg.bin"); }
  // A conversion that runs until it is stopped, and leaves its process id behind.
  void UseBusyFfmpeg() {
    const fs::path tool = program_ / "ffmpeg.bin";
    std::ofstream(tool) << "#!/bin/sh\necho $$ > tool.pid\nexec sleep 60\n";
    fs::permissions(tool, fs::perms::owner_all);
  }

  CVexloDlg& Open(const std::string& source) {
    store_.WriteString(kSettingsKey, "FileOrigine", source);
    store_.WriteString(kSettingsKey, "FileDestinazione", source);
    window_ = std::make_unique<CVexloDlg>(host_, store_, program_.string());
    window_->onInitDialog();
    host_.runPosted();
    return *window_;
  }
  void Press(int control) {
    window_->onCommand(control, ControlEvent::kClicked);
    host_.runPosted();
  }
  // What the jobs logged so far, as the pane shows it.
  std::string Log() {
    window_->flushLog();
    host_.runPosted();
    return window_->logReference()->paneText();
  }
  bool WaitForLog(const std::string& line) {
    return host_.pumpUntil([&] { return Log().find(line) != std::string::npos; },
                           std::chrono::seconds(30));
  }

  static inline fs::path root_;
  fs::path program_;
  testing::FakeDialogHost host_;
  RegistryStore store_;
  std::unique_ptr<CVexloDlg> window_;
};

TEST_F(AnalysisButtons, GopStopsItsOwnJobOnceTheGopIsKnown) {
  UseRealFfmpeg();
  CVexloDlg& w = Open((root_ / "clip.mp4").string());
  Press(id::kGopSource);
  EXPECT_FALSE(host_.enabled(id::kEncodeVideo));
  ASSERT_TRUE(WaitForLog("##### END FILE GOP ######"));
  ASSERT_TRUE(host_.pumpUntil([&] { return w.indexingRunner() == nullptr; }));
  host_.runPosted();
  const std::string log = Log();
  const auto start = log.find("##### GET FILE GOP ######");
  const auto pattern = log.find("GOP: IPPPPPPPI\r\n");
  const auto size = log.find("GOP SIZE: 8\r\n");
  const auto end = log.find("##### END FILE GOP ######");
  ASSERT_NE(start, std::string::npos) << log;
  EXPECT_LT(start, pattern);
  EXPECT_LT(pattern, size);
  EXPECT_LT(size, end);
  EXPECT_EQ(Count(log, "GOP SIZE:"), 1u);
  EXPECT_EQ(log.find("STOP CURRENT INDEXING"), std::string::npos);
  EXPECT_EQ(log.find("INDEXING  ERROR"), std::string::npos);
  EXPECT_TRUE(host_.enabled(id::kEncodeVideo));
  EXPECT_FALSE(host_.enabled(id::kCancel));
  EXPECT_EQ(host_.progress(), 0);
  // The job stopped long before the end: the .TMP file holds a header and a few records.
  const auto bytes = fs::file_size(root_ / "clip.TMP");
  EXPECT_GE(bytes, 168u + 9 * 24u);
  EXPECT_LT(bytes, 168u + 3000 * 24u);
}

TEST_F(AnalysisButtons, GopBesideARunningConversionLeavesTheConversionRunning) {
  UseBusyFfmpeg();
  CVexloDlg& w = Open((root_ / "clip.mp4").string());
  window_->settings().videoDestination = (program_ / "out.H264").string();
  host_.setText(id::kVideoDestEdit, (program_ / "out.H264").string());
  Press(id::kEncodeVideo);
  ASSERT_TRUE(host_.pumpUntil([&] { return fs::exists(program_ / "tool.pid"); }));
  Press(id::kGopSource);
  ASSERT_TRUE(WaitForLog("##### END FILE GOP ######"));
  ASSERT_TRUE(host_.pumpUntil([&] { return w.indexingRunner() == nullptr; }));
  host_.runPosted();
  ASSERT_NE(w.conversionRunner(), nullptr);
  EXPECT_EQ(w.conversionRunner()->state(), process::kRunnerRunning);
  EXPECT_TRUE(host_.enabled(id::kCancel));
  EXPECT_FALSE(host_.enabled(id::kEncodeVideo));
  EXPECT_EQ(Log().find("END CONVERSION"), std::string::npos);
  Press(id::kCancel);
  EXPECT_NE(Log().find("##### STOP CURRENT CONVERSION..... ######"), std::string::npos);
}

TEST_F(AnalysisButtons, IndexWritesTheIndexFileBesideTheVideoDestination) {
  UseRealFfmpeg();
  // A short clip of its own, so that the whole index is quick.
  const fs::path clip = program_ / "short.h264.mp4";
  ASSERT_TRUE(Make("-f lavfi -i testsrc=size=64x48:rate=25 -t 2 -c:v libx264 -g 8 -bf 0"
                   " -pix_fmt yuv420p \"" + clip.string() + "\""));
  Open(clip.string());
  Press(id::kIndex);
  ASSERT_TRUE(WaitForLog("##### END INDEXING ######"));
  // The bar reaches 100 once the finished notification's post has run.
  EXPECT_TRUE(host_.pumpUntil([&] { return host_.progress() == 100; }));
  const fs::path index = program_ / "short.h264.INDX";
  ASSERT_TRUE(fs::exists(index));
  EXPECT_EQ(fs::file_size(index), 168u + 50 * 24u);
  std::ifstream in(index, std::ios::binary);
  std::int64_t frames = 0;
  in.read(reinterpret_cast<char*>(&frames), sizeof frames);
  EXPECT_EQ(frames, 50);
  const std::string log = Log();
  EXPECT_NE(log.find("##### START INDEXING ######"), std::string::npos);
  EXPECT_NE(log.find("GOP SIZE: 8"), std::string::npos);
  EXPECT_TRUE(host_.enabled(id::kIndex));
}

TEST_F(AnalysisButtons, GetInfoTwiceQuicklyCancelsTheFirst) {
  UseBusyFfmpeg();
  Open((root_ / "clip.mp4").string());
  Press(id::kInfoSource);
  ASSERT_TRUE(WaitForLog("##### MEDIA INFO START ######"));
  Press(id::kInfoSource);
  const std::string log = Log();
  const auto first = log.find("##### MEDIA INFO START ######");
  const auto cancel = log.find("##### CANCEL #####\r\n");
  const auto firstEnd = log.find("##### MEDIA INFO END ######");
  ASSERT_NE(cancel, std::string::npos) << log;
  EXPECT_LT(first, cancel);
  EXPECT_LT(cancel, firstEnd);
  EXPECT_TRUE(WaitForLog("##### MEDIA INFO START ######\r\n"));
}

TEST_F(AnalysisButtons, FrameGrabsABitmapBesideTheSource) {
  UseRealFfmpeg();
  const fs::path clip = program_ / "grab.mp4";
  ASSERT_TRUE(Make("-f lavfi -i testsrc=size=64x48:rate=25 -t 3 -pix_fmt yuv420p \"" +
                   clip.string() + "\""));
  Open(clip.string());
  host_.setText(id::kFrameTimeEdit, "1.5");
  Press(id::kFrame);
  ASSERT_TRUE(WaitForLog("##### END CONVERSION ######"));
  const fs::path picture = program_ / "grab_1_50.BMP";
  ASSERT_TRUE(fs::exists(picture));
  std::ifstream in(picture, std::ios::binary);
  char header[26] = {};
  in.read(header, sizeof header);
  std::int32_t width = 0, height = 0;
  std::memcpy(&width, header + 18, 4);
  std::memcpy(&height, header + 22, 4);
  EXPECT_EQ(std::string(header, 2), "BM");
  EXPECT_EQ(width, 64);
  EXPECT_EQ(std::abs(height), 48);
}

TEST_F(AnalysisButtons, MissingProberGivesTheCreationIndexError) {
  fs::remove(program_ / "ffprobe.bin");
  Open((root_ / "clip.mp4").string());
  Press(id::kIndex);
  ASSERT_TRUE(WaitForLog("##### CREATION INDEX ERROR ######"));
  ASSERT_TRUE(host_.pumpUntil([&] { return host_.enabled(id::kIndex); }));
}

}  // namespace
}  // namespace vexlo::app
