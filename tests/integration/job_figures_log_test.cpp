// The window's logic over the fake host: a GOP job beside an encode leaves the encode's figures
// and bar alone, and closing the window puts everything the log pane held into the monthly file.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "app/RegistryStore.h"
#include "app/VexloDlg.h"
#include "process/ProcessRunner.h"
#include "process/TraceControl.h"
#include "res/ControlIds.h"
#include "tests/support/FakeDialogHost.h"

namespace vexlo::app {
namespace {

namespace fs = std::filesystem;
namespace id = res::id;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

long Count(const std::string& text, const std::string& what) {
  long n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class JobFiguresAndLog : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "vexlo_figures_log_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = fs::canonical(pattern);
    program_ = root_ / "program";
    fs::create_directories(program_);
    ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (root_ / "state").c_str(), 1);
  }
  void TearDown() override {
    Close();
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(root_);
  }
  void Tool(const char* name, const std::string& body) {
    std::ofstream(program_ / name) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(program_ / name, fs::perms::owner_all);
  }
  CVexloDlg& Open(const std::string& source) {
    store_.WriteString(kSettingsKey, "FileOrigine", source);
    store_.WriteString(kSettingsKey, "FileDestinazione", (root_ / "out.H264").string());
    host_ = std::make_unique<testing::FakeDialogHost>();  // no task of an earlier window left
    window_ = std::make_unique<CVexloDlg>(*host_, store_, program_.string());
    window_->onInitDialog();
    host_->runPosted();
    return *window_;
  }
  void Press(int control) {
    window_->onCommand(control, platform::ControlEvent::kClicked);
    host_->runPosted();
  }
  void Close() {
    if (window_) window_->onDestroy();
    window_.reset();
  }

  fs::path root_, program_;
  std::unique_ptr<testing::FakeDialogHost> host_;
  RegistryStore store_;
  std::unique_ptr<CVexloDlg> window_;
};

TEST_F(JobFiguresAndLog, GopBesideAnEncodeLeavesTheEncodesBarMoving) {
  const std::string clip = (root_ / "clip.mp4").string();
  ASSERT_EQ(std::system(("\"" VEXLO_FFMPEG_PATH "\" -v error -f lavfi -i testsrc=size=160x120:"
                         "rate=25 -t 8 -c:v libx264 -g 10 -bf 0 -pix_fmt yuv420p \"" + clip + "\"")
                            .c_str()),
            0);
  // The encode runs at the clip's own pace and reports often, so that the GOP job ends in its
  // middle.
  Tool("ffmpeg.bin", "exec \"" VEXLO_FFMPEG_PATH "\" -re -stats_period 0.05 \"$@\"");
  fs::create_symlink(VEXLO_FFPROBE_PATH, program_ / "ffprobe.bin");
  CVexloDlg& w = Open(clip);
  const auto encoding = [&] {
    return w.conversionRunner() && w.conversionRunner()->state() == process::kRunnerRunning;
  };
  Press(id::kEncodeVideo);
  ASSERT_TRUE(host_->pumpUntil([&] { return host_->progress() > 0; }));
  Press(id::kGopSource);
  ASSERT_TRUE(host_->pumpUntil([&] { return w.indexingRunner() == nullptr; }));
  host_->runPosted();
  ASSERT_TRUE(encoding()) << "the encode ended before the GOP job";
  const int atGopEnd = host_->progress();
  EXPECT_GT(atGopEnd, 0);
  EXPECT_GT(w.jobFigures().durationMs.load(), 0);
  const std::size_t mark = host_->progressHistory.size();
  ASSERT_TRUE(host_->pumpUntil([&] { return !encoding(); }, std::chrono::seconds(60)));
  host_->runPosted();
  // From the encode's first move to its end the bar only goes forward: no 0 from the GOP job.
  const auto& bar = host_->progressHistory;
  auto first = std::find_if(bar.begin(), bar.end(), [](int p) { return p > 0; });
  EXPECT_TRUE(std::is_sorted(first, bar.end())) << ::testing::PrintToString(bar);
  EXPECT_TRUE(std::any_of(bar.begin() + mark, bar.end(), [&](int p) {
    return p > atGopEnd && p < 100;
  })) << ::testing::PrintToString(bar);
  EXPECT_EQ(bar.back(), 100);
}

TEST_F(JobFiguresAndLog, ClosingSavesEveryLineToTheProgramFolderOrTheStateFolder) {
  // A conversion floods the log; the window closes as soon as the conversion has ended.
  Tool("ffmpeg.bin", "exec \"" VEXLO_TESTTOOL_PATH "\" --flood 100000 --flood-lf");
  const auto monthly = [&](const fs::path& folder) {
    std::string all;
    if (fs::is_directory(folder)) {
      for (const auto& entry : fs::directory_iterator(folder)) {
        const bool file = entry.is_regular_file();
        if (file && entry.path().filename().string().rfind("ConvVexlo_", 0) == 0) all += Read(entry);
      }
    }
    return all;
  };
  for (const bool programWritable : {true, false}) {
    SCOPED_TRACE(programWritable);
    fs::remove_all(root_ / "state");
    for (const auto& entry : fs::directory_iterator(program_)) {
      if (entry.path().filename().string().rfind("ConvVexlo_", 0) == 0) fs::remove_all(entry);
    }
    CVexloDlg& w = Open((root_ / "in.mp4").string());
    // The program folder cannot take the file: a folder stands where the file would go.
    if (!programWritable) fs::create_directory(w.logReference()->datedLogPath());
    Press(id::kEncodeVideo);
    ASSERT_TRUE(host_->pumpUntil([&] { return w.conversionRunner()->state() == process::kRunnerEnded; },
                                std::chrono::minutes(3)));
    w.logAppend("queued at close\r\n");
    Close();
    const std::string saved = monthly(programWritable ? program_ : root_ / "state" / "vexlo");
    EXPECT_EQ(Count(saved, "frame="), 100000);
    EXPECT_EQ(Count(saved, "##### END CONVERSION ######"), 1);
    EXPECT_EQ(saved.substr(saved.size() - 17), "queued at close\r\n");
    EXPECT_EQ(Count(monthly(programWritable ? root_ / "state" / "vexlo" : program_), "frame="), 0);
  }
}

TEST_F(JobFiguresAndLog, NoWritableLogFileKeepsThePaneBoundedAndSaysWhyOnce) {
  CVexloDlg& w = Open("in.mp4");
  fs::create_directory(w.logReference()->datedLogPath());
  std::ofstream(root_ / "state") << "a file where the state folder would be";
  for (int i = 0; i < 3000; ++i) w.logAppend(std::string(40, 'x') + "\r\n");
  w.flushLog();
  for (int i = 0; i < 100; ++i) w.logAppend(std::string(40, 'y') + "\r\n");
  w.flushLog();
  host_->runPosted();
  const std::string pane = w.logReference()->paneText();
  EXPECT_LE(pane.size(), process::TraceControl::kPaneLimit);
  EXPECT_EQ(host_->text(id::kLogPane), pane);
  EXPECT_EQ(Count(pane, "##### ERROR: Log file not written ("), 1) << pane.substr(0, 300);
  EXPECT_NE(pane.find("/state/vexlo/ConvVexlo_"), std::string::npos);
  EXPECT_EQ(pane.rfind("yyyy\r\n"), pane.size() - 6);
}

}  // namespace
}  // namespace vexlo::app
