// The window's logic over the fake host: a GOP job beside an encode leaves the encode's figures
// and bar alone, and closing the window puts everything the log pane held into the monthly file.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/RegistryStore.h"
#include "app/VexloDlg.h"
#include "res/ControlIds.h"
#include "tests/support/FakeDialogHost.h"

namespace vexlo::app {
namespace {

namespace fs = std::filesystem;
namespace id = res::id;

long Count(const std::string& text, const std::string& what) {
  long n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class JobFiguresAndLog : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::remove_all(root_), fs::create_directories(program_);
    ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (root_ / "state").c_str(), 1);
  }
  void TearDown() override { window_->onDestroy(), fs::remove_all(root_); }
  // The window, with an ffmpeg.bin that runs `ffmpeg` with the job's arguments.
  CVexloDlg& Open(const std::string& source, const std::string& ffmpeg = "true") {
    std::ofstream(program_ / "ffmpeg.bin") << "#!/bin/sh\nexec " << ffmpeg << " \"$@\"\n";
    fs::permissions(program_ / "ffmpeg.bin", fs::perms::owner_all);
    store_.WriteString(kSettingsKey, "FileOrigine", source);
    store_.WriteString(kSettingsKey, "FileDestinazione", (root_ / "out.H264").string());
    window_ = std::make_unique<CVexloDlg>(host_, store_, program_.string());
    window_->onInitDialog();
    return *window_;
  }
  int State() const { return window_->conversionRunner()->state(); }

  const fs::path root_ = ::testing::TempDir() + "vexlo_figures_" + std::to_string(::getpid());
  const fs::path program_ = root_ / "program";
  testing::FakeDialogHost host_;
  RegistryStore store_;
  std::unique_ptr<CVexloDlg> window_;
};

TEST_F(JobFiguresAndLog, GopBesideAnEncodeLeavesTheEncodesBarMoving) {
  const std::string clip = (root_ / "clip.mp4").string();
  const std::string make = " -v error -f lavfi -i testsrc=s=160x120:r=25 -t 8 -g 10 -bf 0 ";
  ASSERT_EQ(std::system(("\"" VEXLO_FFMPEG_PATH "\"" + make + clip).c_str()), 0);
  fs::create_symlink(VEXLO_FFPROBE_PATH, program_ / "ffprobe.bin");
  // The encode runs at the clip's own pace and reports often, so the GOP job ends in its middle.
  CVexloDlg& w = Open(clip, "\"" VEXLO_FFMPEG_PATH "\" -re -stats_period 0.05");
  w.onCommand(id::kEncodeVideo, platform::ControlEvent::kClicked);
  ASSERT_TRUE(host_.pumpUntil([&] { return host_.progress() > 0; }));
  w.onCommand(id::kGopSource, platform::ControlEvent::kClicked);
  ASSERT_TRUE(host_.pumpUntil([&] { return w.indexingRunner() == nullptr; }));
  ASSERT_EQ(State(), process::kRunnerRunning) << "the encode ended before the GOP job";
  EXPECT_GT(w.jobFigures().durationMs.load(), 0);
  ASSERT_TRUE(
      host_.pumpUntil([&] { return State() == process::kRunnerEnded && host_.progress() == 100; },
                      std::chrono::seconds(60)));
  // From the encode's first move to its end the bar only goes forward: the GOP job, which ended
  // in the middle, neither reset it nor set it to 0 or 100.
  const auto& bar = host_.progressHistory;
  EXPECT_TRUE(
      std::is_sorted(std::find_if(bar.begin(), bar.end(), [](int p) { return p > 0; }), bar.end()));
}

TEST_F(JobFiguresAndLog, ClosingSavesEveryLineIncludingTheQueuedOnesToTheStateFolderAsFallback) {
  CVexloDlg& w = Open("in.mp4", "\"" VEXLO_TESTTOOL_PATH "\" --flood 100000 --flood-lf");
  const fs::path dated = w.logReference()->datedLogPath();
  fs::create_directory(dated);  // the program folder cannot take the file, whoever runs this
  w.onCommand(id::kEncodeVideo, platform::ControlEvent::kClicked);
  ASSERT_TRUE(
      host_.pumpUntil([&] { return State() == process::kRunnerEnded; }, std::chrono::minutes(3)));
  w.logAppend("queued at close\r\n");
  w.onDestroy();
  std::ifstream in(root_ / "state/vexlo" / dated.filename(), std::ios::binary);
  const std::string saved(std::istreambuf_iterator<char>(in), {});
  EXPECT_EQ(Count(saved, "frame="), 100000);
  EXPECT_EQ(Count(saved, "##### END CONVERSION ######"), 1);
  EXPECT_EQ(saved.substr(saved.size() - 17), "queued at close\r\n");
}

}  // namespace
}  // namespace vexlo::app
