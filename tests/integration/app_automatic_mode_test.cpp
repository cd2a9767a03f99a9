// Automatic mode from the outside, as a script would run it: the real vexlo executable on a
// headless machine, encoding with the real ffmpeg, telling success from failure by its exit
// status.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The vexlo executable of this build: the tests folder sits beside it.
fs::path VexloPath() { return fs::path(VEXLO_TEST_BINARY_DIR).parent_path() / "vexlo"; }

std::string Capture(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    ::pclose(pipe);
  }
  return out;
}

class AutomaticMode : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(VexloPath())) GTEST_SKIP() << "this build has no window (VEXLO_BUILD_GUI off)";
    dir_ = fs::temp_directory_path() /
           ("vexlo-auto-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "config");
    source_ = (dir_ / "in clip.mp4").string();  // a blank in the name, quoted on the command line
    const std::string make = std::string(VEXLO_FFMPEG_PATH) +
                             " -v error -y -f lavfi -i testsrc=size=96x64:rate=25 -t 2"
                             " -pix_fmt yuv420p \"" + source_ + "\"";
    ASSERT_EQ(std::system(make.c_str()), 0);
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  // Starts vexlo with one command-line argument and returns its process id.
  pid_t Start(const fs::path& program, const std::string& argument) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
      ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
      ::execl(program.c_str(), program.c_str(), argument.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    return pid;
  }

  // The exit status once the process has ended, or nothing if it is still running then.
  static std::optional<int> WaitFor(pid_t pid, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
      std::this_thread::sleep_for(20ms);
    }
  }

  std::string Settings() const {
    std::ifstream in(dir_ / "config" / "vexlo" / "HKEY_CURRENT_USER.reg");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  fs::path dir_;
  std::string source_;
};

TEST_F(AutomaticMode, EncodesByItselfExitsZeroAndSavesTheCommandLine) {
  const std::string destination = (dir_ / "out.H264").string();
  const pid_t pid = Start(VexloPath(), source_ + "," + destination + ",2,0");
  const auto status = WaitFor(pid, 60s);
  ASSERT_TRUE(status.has_value()) << "vexlo did not close by itself";
  EXPECT_EQ(*status, 0);
  EXPECT_EQ(Capture(std::string(VEXLO_FFPROBE_PATH) +
                    " -v error -count_frames -select_streams v:0 -show_entries"
                    " stream=codec_name,nb_read_frames -of csv=p=0 \"" + destination + "\""),
            "h264,50\n");
  const std::string settings = Settings();
  EXPECT_NE(settings.find("\"FileOrigine\"=\"" + source_ + "\""), std::string::npos) << settings;
  EXPECT_NE(settings.find("\"iNumProfile\"=dword:00000002"), std::string::npos);
  EXPECT_NE(settings.find("\"iNumCRF\"=dword:00000000"), std::string::npos);
  EXPECT_NE(settings.find("\"FileDestinazione3\"=\"\""), std::string::npos);
}

TEST_F(AutomaticMode, ToolFailureClosesTheWindowWithAFailingStatus) {
  const fs::path garbage = dir_ / "garbage.mov";
  std::ofstream(garbage) << "this is not a video";
  const pid_t pid = Start(VexloPath(), garbage.string() + "," + (dir_ / "out.H264").string());
  const auto status = WaitFor(pid, 60s);
  ASSERT_TRUE(status.has_value()) << "vexlo did not close after the tool failed";
  EXPECT_NE(*status, 0);
}

// A refused request and a tool that cannot be started end the program without a display (no
// one could close the window), and the status says the encode did not happen.
TEST_F(AutomaticMode, RefusedOrUnstartableEncodeEndsWithoutADisplay) {
  const fs::path lonely = dir_ / "bin";
  fs::create_directories(lonely);
  fs::copy_file(VexloPath(), lonely / "vexlo");  // no ffmpeg.bin beside this copy
  struct Case {
    fs::path program;
    std::string argument;
  };
  const Case cases[] = {
      {VexloPath(), source_ + "," + source_},
      {lonely / "vexlo", source_ + "," + (dir_ / "never.H264").string()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    const auto before = fs::file_size(source_);
    const pid_t pid = Start(c.program, c.argument);
    const auto status = WaitFor(pid, 30s);
    ASSERT_TRUE(status.has_value()) << "vexlo did not end by itself without a display";
    EXPECT_EQ(*status, 1);
    EXPECT_EQ(fs::file_size(source_), before);
    EXPECT_FALSE(fs::exists(dir_ / "never.H264"));
  }
}

// The executable itself, without a display: with no arguments it explains itself instead of
// sitting invisible; with the screenshot option it opens the window offscreen and closes cleanly.
TEST(Executable, WithoutADisplaySaysHowToUseTheAutomaticMode) {
  if (!fs::exists(VexloPath())) GTEST_SKIP() << "this build has no window (VEXLO_BUILD_GUI off)";
  const std::string output =
      Capture("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \"" + VexloPath().string() +
              "\" 2>&1; echo \"status=$?\"");
  EXPECT_NE(output.find("no window can be shown"), std::string::npos) << output;
  EXPECT_NE(output.find("vexlo SOURCE,DESTINATION[,PROFILE,CRF]"), std::string::npos) << output;
  EXPECT_NE(output.find("status=2"), std::string::npos) << output;
}

TEST(Executable, OpensTheWindowOffscreenAndClosesCleanly) {
  if (!fs::exists(VexloPath())) GTEST_SKIP() << "this build has no window (VEXLO_BUILD_GUI off)";
  const fs::path folder = fs::path(VEXLO_TEST_BINARY_DIR) / "screenshots";
  fs::create_directories(folder);
  const fs::path picture = folder / "vexlo_offscreen.png";
  fs::remove(picture);
  const std::string output =
      Capture("QT_QPA_PLATFORM=offscreen \"" + VexloPath().string() + "\" --screenshot \"" +
              picture.string() + "\" 2>&1; echo \"status=$?\"");
  EXPECT_NE(output.find("status=0"), std::string::npos) << output;
  ASSERT_TRUE(fs::exists(picture));
  EXPECT_GT(fs::file_size(picture), 10000u);
}

}  // namespace
