// The window's aids beside the written jobs: each job's command line in the log and on the
// clipboard, the encoder check (a stand-in ffmpeg.bin and the real one), its warning before an
// encode, and a file given as the one argument.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/RegistryStore.h"
#include "app/VexloApp.h"
#include "app/VexloDlg.h"
#include "platform/CommandLineSplit.h"
#include "res/ControlIds.h"
#include "tests/support/FakeDialogHost.h"
#include "tests/support/Support.h"

namespace vexlo::app {
namespace {

namespace fs = std::filesystem;
namespace id = res::id;

struct ClipboardHost : testing::FakeDialogHost {
  void setClipboardText(const std::string& text) override { clipboard = text; }
  std::string clipboard;
};

class WindowFeatures : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_symlink(VEXLO_FFPROBE_PATH, program_ + "/ffprobe.bin");
    fs::create_symlink(VEXLO_FFMPEG_PATH, program_ + "/ffmpeg.bin");
    fs::copy_file(testing::Clip("clip.mp4"), source_);
  }
  void TearDown() override {
    if (window_) window_->onDestroy();
  }
  // A tool of the program's folder made of this shell script.
  void UseTool(const std::string& name, const std::string& script) {
    fs::remove(program_ + "/" + name);
    std::ofstream(program_ + "/" + name) << "#!/bin/sh\n" << script << "\n";
    fs::permissions(program_ + "/" + name, fs::perms::owner_all);
  }
  CVexloDlg& Open() {
    store_.WriteString(kSettingsKey, "FileOrigine", source_);
    store_.WriteString(kSettingsKey, "FileDestinazione", program_ + "/out.H265");
    window_ = std::make_unique<CVexloDlg>(host_, store_, program_);
    window_->onInitDialog();
    EXPECT_TRUE(WaitForLog("Trace process started."));
    return *window_;
  }
  std::string Log() {
    window_->flushLog();
    host_.runPosted();
    return window_->logReference()->paneText();
  }
  bool WaitForLog(const std::string& line, std::size_t count = 1) {
    return host_.pumpUntil([&] { return testing::Count(Log(), line) >= count; });
  }
  void Command(int id) { window_->onCommand(id, platform::ControlEvent::kClicked); }

  testing::ConfigHome config_;
  std::string program_ = testing::MakeTempDirectory("features");
  std::string source_ = program_ + "/in clip.mp4";
  ClipboardHost host_;
  RegistryStore store_;
  std::unique_ptr<CVexloDlg> window_;
};

// The logged line is the command the tool was given, argument for argument, and what File >
// Copy Last Command copies.
TEST_F(WindowFeatures, EachJobLogsTheCommandItRanAfterItsStartLineAndCopiesIt) {
  const std::string record = "printf '%s\\n' \"$@\" > \"" + program_ + "/args\"";
  UseTool("ffmpeg.bin", record);
  UseTool("ffprobe.bin", record);
  Open();
  Command(res::kCmdCopyLastCommand);
  EXPECT_EQ(host_.clipboard, "");  // nothing ran yet
  const struct {
    int button;
    std::string start, end, firstArgument;
  } jobs[] = {
      {id::kEncodeVideo, "START CONVERSION", "END CONVERSION", "-i"},
      {id::kIndex, "START INDEXING", "END INDEXING", "-show_frames"},
      {id::kFrame, "START CONVERSION", "END CONVERSION", "-i"},
  };
  for (std::size_t i = 0; i < std::size(jobs); ++i) {
    fs::remove(program_ + "/args");
    Command(jobs[i].button);
    ASSERT_TRUE(WaitForLog("##### " + jobs[i].end + " ######", i == 2 ? 2 : 1)) << Log();
    const std::string log = Log();
    const std::string startLine = "[30] # ##### " + jobs[i].start + " ######\r\n[30] # ";
    const auto start = log.rfind(startLine);
    ASSERT_NE(start, std::string::npos) << log;
    const std::string line =
        log.substr(start + startLine.size(),
                   log.find("\r\n", start + startLine.size()) - start - startLine.size());
    Command(res::kCmdCopyLastCommand);
    EXPECT_EQ("##### COMMAND: " + host_.clipboard + " ######", line);
    std::vector<std::string> ran;
    std::ifstream args(program_ + "/args");
    for (std::string arg; std::getline(args, arg);) ran.push_back(arg);
    std::vector<std::string> logged = platform::SplitCommandLine(host_.clipboard);
    ASSERT_FALSE(logged.empty());
    EXPECT_EQ(logged.front(),
              program_ + (jobs[i].button == id::kIndex ? "/ffprobe.bin" : "/ffmpeg.bin"));
    logged.erase(logged.begin());
    EXPECT_EQ(logged, ran) << line;
    EXPECT_EQ(ran.at(0), jobs[i].firstArgument);
  }
}

// Each hardware encoder the window offers: one works, one fails with the encoder's own words, one
// fails silently, one is not built in. An encode with a GPU choice found unusable warns first.
TEST_F(WindowFeatures, EncoderCheckWithAStandInToolAndItsWarningBeforeAnEncode) {
  UseTool("ffmpeg.bin", R"(case "$*" in
*-encoders*) printf ' V..... = Video\n ------\n V....D h264_nvenc  NVIDIA\n V....D hevc_nvenc  N\n'
             printf ' V....D h264_amf  AMD\n A....D aac  AAC\n' ;;
*h264_nvenc*) printf 'frame=   25 fps=0.0 q=-0.0 Lsize=N/A time=00:00:01.00 speed=2x\n' ;;
*hevc_nvenc*) echo '[hevc_nvenc @ 0x55d0] Driver does not support the required nvenc API version.'
              echo 'Error initializing output stream 0:0 -- Error while opening encoder'
              echo 'Conversion failed!'; exit 1 ;;
*h264_amf*) exit 3 ;;
esac)");
  store_.WriteDword(kSettingsKey, "m_GpuType", 1);  // NVIDIA
  store_.WriteDword(kSettingsKey, "mOutType", 1);   // H.265
  CVexloDlg& window = Open();
  Command(res::kCmdCheckEncoders);
  ASSERT_TRUE(WaitForLog("##### END CHECK ENCODERS ######")) << Log();
  EXPECT_NE(
      Log().find("[30] # ##### CHECK ENCODERS ######\r\n"
                 "[30] # ##### COMMAND: \"" +
                 program_ +
                 "/ffmpeg.bin\" -hide_banner -encoders ######\r\n"
                 "[30] # ##### ENCODER h264_nvenc: works ######\r\n"
                 "[30] # ##### ENCODER hevc_nvenc: fails: Driver does not support the required "
                 "nvenc API version. ######\r\n"
                 "[30] # ##### ENCODER h264_amf: fails: ffmpeg.bin exited with code 3 ######\r\n"
                 "[30] # ##### ENCODER hevc_amf: not built into this ffmpeg.bin ######\r\n"
                 "[30] # ##### END CHECK ENCODERS ######\r\n"),
      std::string::npos)
      << Log();
  EXPECT_EQ(host_.progress(), 100);
  EXPECT_FALSE(window.encoderCheck().Running());
  Command(id::kEncodeVideo);
  ASSERT_TRUE(WaitForLog("##### END CONVERSION ######"));
  host_.setChecked(id::kRadioH265, false);
  host_.setChecked(id::kRadioH264, true);
  Command(id::kRadioH264);
  Command(id::kEncodeVideo);  // h264_nvenc works: no warning
  ASSERT_TRUE(WaitForLog("##### END CONVERSION ######", 2));
  const std::string log = Log();
  const std::string warning =
      "[30] # ##### WARNING: The last encoder check found hevc_nvenc unusable (it fails: Driver "
      "does not support the required nvenc API version.); encoding with it all the same ######\r\n";
  EXPECT_EQ(testing::Count(log, "WARNING"), 1u) << log;
  EXPECT_LT(log.find(warning), log.find("START CONVERSION")) << log;
}

// On this machine no hardware encoder can run: each line says why.
TEST_F(WindowFeatures, EncoderCheckWithTheRealToolSaysWhyEachEncoderCannotRun) {
  Open();
  Command(res::kCmdCheckEncoders);
  ASSERT_TRUE(WaitForLog("##### END CHECK ENCODERS ######")) << Log();
  const std::string log = Log();
  for (std::string_view encoder : jobs::kHardwareEncoders) {
    const auto at = log.find("##### ENCODER " + std::string(encoder) + ": ");
    ASSERT_NE(at, std::string::npos) << log;
    const std::string result = log.substr(at, log.find("\r\n", at) - at);
    const bool fails = result.find(": fails: ") != std::string::npos &&
                       result.size() > result.find(": fails: ") + 9 + 7;
    EXPECT_TRUE(fails || result.ends_with(": not built into this ffmpeg.bin ######")) << result;
  }
}

// "Open with Vexlo": one argument that names a file opens the window with it as the source,
// without storing it; anything else leaves the stored source.
TEST_F(WindowFeatures, OneFileArgumentOpensTheWindowWithItAsTheSource) {
  store_.WriteString(kSettingsKey, "FileOrigine", "/stored/source.mov");
  fs::current_path(program_);
  const struct {
    std::string argument, source;
  } rows[] = {{source_, source_},
              {"in clip.mp4", source_},  // relative to the caller's folder
              {program_ + "/missing.mp4", "/stored/source.mov"},
              {program_, "/stored/source.mov"}};
  for (const auto& row : rows) {
    testing::FakeDialogHost host;
    CVexloApp().InitInstance(
        host, store_,
        [&](platform::DialogEvents& events) {
          events.onInitDialog();
          EXPECT_EQ(host.text(id::kSourceEdit), row.source) << row.argument;
          EXPECT_TRUE(host.visible(id::kLogPane) && host.enabled(id::kEncodeVideo));
          events.onDestroy();
          return 0;
        },
        row.argument, program_);
    EXPECT_EQ(testing::StoredSettings(store_)["FileOrigine"], "/stored/source.mov");
  }
}

}  // namespace
}  // namespace vexlo::app
