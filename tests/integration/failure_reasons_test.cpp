// Real files and honest failures, end to end: the window's logic over the fake host with the real
// ffmpeg.bin and ffprobe.bin on clips made here, a silent tool under a short watchdog, and the
// vexlo executable in automatic mode without a display.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/RegistryStore.h"
#include "app/VexloDlg.h"
#include "jobs/ConversionJob.h"
#include "res/ControlIds.h"
#include "tests/support/FakeDialogHost.h"
#include "tests/support/TestJobWindow.h"

namespace vexlo::app {
namespace {

namespace fs = std::filesystem;
namespace id = res::id;
using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

std::string Capture(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    ::pclose(pipe);
  }
  return out;
}

const auto Quoted = [](const fs::path& path) { return "\"" + path.string() + "\""; };

// Each of `lines` in `text`, in this order, before `marker` (the job's error or end line).
void ExpectInOrderBefore(const std::string& text, const Lines& lines, const std::string& marker) {
  const auto end = text.find(marker);
  ASSERT_NE(end, std::string::npos) << marker << " in:\n" << text;
  std::size_t at = 0;
  for (const std::string& line : lines) {
    at = text.find(line, at);
    EXPECT_LT(at, end) << line << " before " << marker << " in:\n" << text;
  }
}

class RealFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::path(::testing::TempDir()) / ("vexlo_real_files_" + std::to_string(::getpid()));
    fs::create_directories(root_ / "config");
    ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
  }
  void TearDown() override {
    if (window_) window_->onDestroy();
    fs::remove_all(root_);
  }
  // The pane's text once the queued lines are in it.
  std::string Log() {
    window_->flushLog();
    host_->runPosted();
    return window_->logReference()->paneText();
  }
  // A fresh window with these settings, one press of `button`, and the pane's text once it shows
  // `line` and the job controls are enabled again (or after a minute).
  std::string Press(int button, const fs::path& source, const fs::path& destination,
                    const std::string& line, int outType, int gpu) {
    if (window_) window_->onDestroy();
    window_.reset();
    host_ = std::make_unique<testing::FakeDialogHost>();
    store_.WriteString(kSettingsKey, "FileOrigine", source.string());
    store_.WriteString(kSettingsKey, "FileDestinazione", destination.string());
    store_.WriteDword(kSettingsKey, "mOutType", static_cast<std::uint32_t>(outType));
    store_.WriteDword(kSettingsKey, "m_GpuType", static_cast<std::uint32_t>(gpu));
    window_ = std::make_unique<CVexloDlg>(*host_, store_, root_.string());
    window_->onInitDialog();
    window_->onCommand(button, platform::ControlEvent::kClicked);
    host_->pumpUntil(
        [&] { return Log().find(line) != std::string::npos && window_->controlsEnabled(); }, 60s);
    for (auto* runner : {window_->conversionRunner(), window_->indexingRunner()}) {
      if (runner) runner->Stop();  // waits until its last notification has returned
    }
    return Log();
  }

  fs::path root_;
  std::unique_ptr<testing::FakeDialogHost> host_;
  RegistryStore store_;
  std::unique_ptr<CVexloDlg> window_;
};

// Sources as people have them (an 8-bit 4:4:4 screen capture, a 10-bit 4:2:2 ProRes camera file,
// a 10-bit 4:2:0 HEVC phone clip) encode to H.265 and MPV; each failure says why before its error
// line; an index or GOP job whose file cannot be written fails (as root no folder is unwritable,
// so a folder takes the file's name).
TEST_F(RealFiles, EncodesPlayAndFailuresSayWhy) {
  // clang-format off
  struct Case {
    int button, outType, gpu;
    fs::path source, destination;
    Lines reasons;  // what the lines before the marker hold; none: no reason, no error at all
    std::string marker, probe{};  // the job's error or end line; what ffprobe says of the destination
    bool tools = true;
  };
  std::vector<Case> cases;
  for (const auto& [name, codec] : {std::pair{"screen444.mp4", "libx264 -pix_fmt yuv444p"},
                                    {"camera422.mov", "prores_ks -profile:v 3 -pix_fmt yuv422p10le"},
                                    {"phone420p10.mp4", "libx265 -pix_fmt yuv420p10le"}}) {
    const std::string make = std::string(VEXLO_FFMPEG_PATH) + " -v quiet -y -f lavfi -i testsrc=size=128x96:rate=25 -t 1 -c:v " +
                             codec + " " + Quoted(root_ / name);
    ASSERT_EQ(std::system(make.c_str()), 0);
    for (int type : {1, 2}) {
      const fs::path hevc = root_ / (std::string(name) + (type == 1 ? ".H265" : ".MPV"));
      cases.push_back({id::kEncodeVideo, type, 0, root_ / name, hevc, {}, "END CONVERSION", "hevc,yuv420p,25\n"});
    }
  }
  fs::create_directories(root_ / "screen444.INDX" / "x");  // a folder takes each index file's name
  fs::create_directories(root_ / "screen444.TMP" / "x");
  const fs::path gone = root_ / "gone.mov", clip = root_ / "screen444.mp4",
                 out = root_ / "out.H265";
  const std::string missing = "REASON: " + gone.string() + ": No such file or directory";
  const auto fileError = [&](const char* name) { return "Cannot write the index file " + (root_ / name).string() + ": Is a directory"; };
  cases.insert(cases.end(), {
      {id::kEncodeVideo, 0, 0, gone, out, {missing, "REASON: ffmpeg.bin exited with code 1"}, "##### CONVERSION  ERROR"},
      {id::kEncodeVideo, 1, 2, clip, out, {"REASON: ", "hevc_amf"}, "##### CONVERSION  ERROR"},  // codec refusal
      {id::kIndex, 0, 0, clip, gone, {missing, "REASON: ffprobe.bin exited with code 1"}, "##### INDEXING  ERROR"},
      {id::kIndex, 0, 0, clip, clip, {fileError("screen444.INDX"), "##### INDEXING  ERROR"}, "##### END INDEXING"},
      {id::kGopSource, 0, 0, clip, clip, {fileError("screen444.TMP"), "##### INDEXING  ERROR"}, "##### END FILE GOP"},
      {id::kInfoSource, 0, 0, gone, out, {missing}, "##### MEDIA INFO END"},
      {id::kInfoSource, 0, 0, clip, out, {}, "##### MEDIA INFO END"},  // its usual exit code 1
      {id::kEncodeVideo, 0, 0, clip, out, {"REASON: " + (root_ / "ffmpeg.bin").string() + " could not be started: No such file"}, "##### CREATION  ERROR", "", false},  // the last
  });
  // clang-format on
  fs::create_symlink(VEXLO_FFMPEG_PATH, root_ / "ffmpeg.bin");
  fs::create_symlink(VEXLO_FFPROBE_PATH, root_ / "ffprobe.bin");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.marker + " of " + c.source.string() + " and " + c.destination.string());
    if (!c.tools) fs::remove(root_ / "ffmpeg.bin");
    const std::string log = Press(c.button, c.source, c.destination, c.marker, c.outType, c.gpu);
    ExpectInOrderBefore(log, c.reasons, c.marker);
    EXPECT_TRUE(!c.reasons.empty() || log.find("ERROR") == std::string::npos) << log;
    // A job whose index file failed never reports success.
    EXPECT_TRUE((c.button != id::kGopSource && c.destination != clip) || host_->progress() != 100);
    const std::string probe =
        std::string(VEXLO_FFPROBE_PATH) + " -v error -count_frames -show_entries" +
        " stream=codec_name,pix_fmt,nb_read_frames -of csv=p=0 " + Quoted(c.destination);
    EXPECT_EQ(c.probe.empty() ? "" : Capture(probe), c.probe);
  }
}

TEST(Watchdog, KillOfASilentToolNamesTheSilenceAndItsLastLine) {
  testing::TestJobWindow window;
  ASSERT_TRUE(window.startLogAndWait(::testing::TempDir()));
  process::ProcessRunner runner(10ms, 20);
  // clang-format off
  runner.SetCommandLine(("\"" + std::string(VEXLO_TESTTOOL_PATH) + "\" --lines 1 --text \"waiting for the device\" --sleep-ms 60000").c_str());
  runner.output = jobs::OnConversionOutput;
  runner.started = jobs::OnConversionStarted;
  runner.failure = jobs::OnConversionFailure;
  runner.finished = jobs::OnConversionFinished;
  runner.outputContext = runner.startedContext = runner.endContext =
      static_cast<process::JobWindow*>(&window);
  EXPECT_EQ(runner.Start(), 0);
  ASSERT_TRUE(window.host.pumpUntil([&] { return window.results.load() > 0; }, 60s));
  ExpectInOrderBefore(window.jobLog(), {"REASON: waiting for the device", "wrote nothing for 0.2 s: stopped by the watchdog"},
                      "##### CONVERSION  ERROR");
  // clang-format on
}

// Automatic mode without a display, as a script runs it: the log reaches standard error, and a
// failed, refused or unstartable encode ends the program with status 1 (never a hang).
TEST_F(RealFiles, AutomaticModeTellsStandardErrorWhyAndExitsOne) {
  const fs::path vexlo = fs::path(VEXLO_TEST_BINARY_DIR).parent_path() / "vexlo";
  if (!fs::exists(vexlo)) GTEST_SKIP() << "this build has no window (VEXLO_BUILD_GUI off)";
  fs::copy_file(vexlo, root_ / "vexlo");  // no ffmpeg.bin beside this copy
  const std::string gone = (root_ / "gone.mov").string(), out = (root_ / "out.H264").string();
  const std::pair<fs::path, std::string> cases[] = {
      {vexlo, gone + "," + out}, {root_ / "vexlo", gone + "," + out}, {vexlo, gone + "," + gone}};
  const std::pair<Lines, std::string> said[] = {
      {{"REASON: " + gone + ": No such file or directory"}, "##### CONVERSION  ERROR"},
      {{"REASON: ", "could not be started"}, "##### CREATION  ERROR"},
      {{}, "##### ERROR: Origin and destination files are the same"}};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(cases[i].second);
    const std::string text =
        Capture("env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen timeout 60 " +
                Quoted(cases[i].first) + " " + Quoted(cases[i].second) +
                " 2>&1 >/dev/null; echo \"status=$?\"");
    ExpectInOrderBefore(text, said[i].first, said[i].second);
    EXPECT_NE(text.find("status=1\n"), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace vexlo::app
