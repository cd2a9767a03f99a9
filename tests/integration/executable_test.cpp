// The vexlo executable from the outside, as a script would run it on a headless machine, and
// the settings file written by two processes at once.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "app/RegistryStore.h"
#include "platform/RegistryHive.h"
#include "tests/support/Support.h"

namespace vexlo::app {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The vexlo executable of this build: the tests folder sits beside it.
const fs::path kVexlo = fs::path(VEXLO_TEST_BINARY_DIR).parent_path() / "vexlo";

class Executable : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kVexlo)) GTEST_SKIP() << "this build has no window (VEXLO_BUILD_GUI off)";
    fs::copy_file(testing::Clip("clip.mp4"), source_);
  }
  // Starts vexlo with one argument; the exit status once it has ended, or nothing if it still
  // runs after `limit` (then it is left running for the test to end).
  std::optional<int> Run(const fs::path& program, const std::string& argument,
                         std::chrono::milliseconds limit) {
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
      ::execl(program.c_str(), program.c_str(), argument.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    return WaitFor(limit);
  }
  std::optional<int> WaitFor(std::chrono::milliseconds limit) {
    for (const auto deadline = std::chrono::steady_clock::now() + limit;;
         std::this_thread::sleep_for(20ms)) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_)
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
    }
  }
  // Waits until vexlo catches SIGTERM (its handler is installed) or has ended.
  bool WaitUntilItCatchesSigterm() {
    for (const auto deadline = std::chrono::steady_clock::now() + 60s;
         std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(20ms)) {
      std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
      for (std::string line; std::getline(status, line);) {
        if (line.starts_with("SigCgt:") &&
            (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1)) & 1) {
          return true;
        }
      }
    }
    return false;
  }

  testing::ConfigHome config_;
  std::string dir_ = testing::MakeTempDirectory("auto"), source_ = dir_ + "/in clip.mp4";
  pid_t pid_ = 0;
};

TEST_F(Executable, EncodesByItselfExitsZeroAndSavesTheCommandLine) {
  const std::string destination = dir_ + "/out.H264";
  ASSERT_EQ(Run(kVexlo, source_ + "," + destination + ",2,0", 120s), 0);
  EXPECT_EQ(testing::Capture("\"" VEXLO_FFPROBE_PATH
                             "\" -v error -count_frames -select_streams v:0 -show_entries "
                             "stream=codec_name,nb_read_frames -of csv=p=0 \"" +
                             destination + "\""),
            "h264,75\n");
  const std::string settings = testing::ReadAll(config_.path() + "/vexlo/HKEY_CURRENT_USER.reg");
  for (const std::string& line :
       {"\"FileOrigine\"=\"" + source_ + "\"", std::string("\"iNumProfile\"=dword:00000002"),
        std::string("\"iNumCRF\"=dword:00000000"), std::string("\"FileDestinazione3\"=\"\"")}) {
    EXPECT_NE(settings.find(line), std::string::npos) << line << "\n" << settings;
  }
  EXPECT_EQ(Run(kVexlo, testing::Clip("garbage.mov") + "," + dir_ + "/bad.H264", 120s),
            1);  // the tool failed
}

// A refused request and a tool that cannot be started end the program without a display (no
// one could close the window), and the status says the encode did not happen.
TEST_F(Executable, RefusedOrUnstartableEncodeEndsWithoutADisplay) {
  fs::create_directories(dir_ + "/bin");
  fs::copy_file(kVexlo, dir_ + "/bin/vexlo");  // no ffmpeg.bin beside this copy
  for (const auto& [program, argument] :
       {std::pair{kVexlo, source_ + "," + source_},
        {fs::path(dir_ + "/bin/vexlo"), source_ + "," + dir_ + "/never.H264"}}) {
    const auto size = fs::file_size(source_);
    ASSERT_FALSE(Run(program, argument, 0ms).has_value());
    EXPECT_EQ(WaitFor(60s), 1) << "no one can close the window without a display: " << argument;
    EXPECT_EQ(fs::file_size(source_), size);
    EXPECT_FALSE(fs::exists(dir_ + "/never.H264"));
  }
}

// Without a display and arguments it explains itself; with the screenshot option it opens the
// window offscreen, saves its picture and closes cleanly.
TEST_F(Executable, WithoutADisplayOrWithTheScreenshotOption) {
  const std::string help =
      testing::Capture("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \"" + kVexlo.string() +
                       "\" 2>&1; echo \"status=$?\"");
  for (const char* text :
       {"no window can be shown", "vexlo SOURCE,DESTINATION[,PROFILE,CRF]", "status=2"}) {
    EXPECT_NE(help.find(text), std::string::npos) << help;
  }
  const std::string picture = std::string(VEXLO_TEST_BINARY_DIR) + "/vexlo_offscreen.png";
  fs::remove(picture);
  const std::string shot =
      testing::Capture("QT_QPA_PLATFORM=offscreen \"" + kVexlo.string() + "\" --screenshot \"" +
                       picture + "\" 2>&1; echo \"status=$?\"");
  EXPECT_NE(shot.find("status=0"), std::string::npos) << shot;
  ASSERT_TRUE(fs::exists(picture));
  EXPECT_GT(fs::file_size(picture), 10000u);
}

// Two processes and two threads, each with a store of its own, write their values at once.
TEST(SettingsFile, TwoWritersLoseNoValue) {
  auto write = [](int writer) {
    RegistryStore store;
    int failures = 0;
    for (int i = 0; i < 200; ++i) {
      const std::string name = "w" + std::to_string(writer) + "_" + std::to_string(i);
      failures += (i % 2 ? store.WriteString(kSettingsKey, name, "text " + name)
                         : store.WriteDword(kSettingsKey, name, writer * 1000 + i)) != 1;
    }
    return failures;
  };
  for (bool processes : {true, false}) {
    testing::ConfigHome home;
    int failures[2] = {0, 0};
    if (processes) {
      pid_t children[2];
      for (int writer = 0; writer < 2; ++writer) {
        if ((children[writer] = ::fork()) == 0) ::_exit(write(writer));
      }
      for (int writer = 0; writer < 2; ++writer) {
        int status = 0;
        ASSERT_EQ(::waitpid(children[writer], &status, 0), children[writer]);
        failures[writer] = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
    } else {
      std::thread first([&] { failures[0] = write(0); }), second([&] { failures[1] = write(1); });
      first.join();
      second.join();
    }
    EXPECT_EQ(failures[0] + failures[1], 0);
    const RegistryStore store;
    for (int writer = 0; writer < 2; ++writer) {
      for (int i = 0; i < 200; ++i) {
        const std::string name = "w" + std::to_string(writer) + "_" + std::to_string(i);
        std::string text;
        store.ReadString(kSettingsKey, name, "missing", text);
        EXPECT_EQ(i % 2 ? text : std::to_string(store.ReadDword(kSettingsKey, name, 0)),
                  i % 2 ? "text " + name : std::to_string(writer * 1000 + i))
            << processes;
      }
    }
    EXPECT_FALSE(fs::exists(home.path() + "/vexlo/HKEY_CURRENT_USER.reg.bad"));
  }
}

}  // namespace
}  // namespace vexlo::app
