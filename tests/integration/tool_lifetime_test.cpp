// No tool outlives its job or Vexlo: a stopped tool's whole process group ends, a stopped MP4
// encode is still a playable file, and a Vexlo killed with SIGKILL takes its tool with it.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "encode/VideoEncodes.h"
#include "process/ProcessRunner.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
const fs::path kBuildDir = fs::path(VEXLO_TEST_BINARY_DIR).parent_path();  // vexlo, ffmpeg.bin
const fs::path kDir = fs::temp_directory_path() / ("vexlo-lifetime-" + std::to_string(::getpid()));
const std::string kSource = (kDir / "source.mpg").string();

template <class Done>
bool WaitUntil(Done done, std::chrono::milliseconds limit = 30s) {
  const auto deadline = Clock::now() + limit;
  while (!done() && Clock::now() < deadline) std::this_thread::sleep_for(5ms);
  return done();
}

// "STATE PARENT GROUP ..." from /proc; empty once the process has gone.
std::string Stat(pid_t pid) {
  char text[512] = "";
  if (FILE* file = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r")) {
    text[std::fread(text, 1, sizeof text - 1, file)] = '\0';
    std::fclose(file);
  }
  const char* afterName = std::strrchr(text, ')');
  return afterName ? afterName + 2 : "";
}

// A zombie left to an init that reaps late counts as ended.
bool Running(pid_t pid) {
  return std::string_view("RSDTtWPIK").find(Stat(pid)[0]) != std::string_view::npos;
}

// FFprobe reads its frames without an error.
bool Plays(const fs::path& file) {
  return std::system(("[ \"$(" VEXLO_FFPROBE_PATH " -v error -count_frames -show_entries " +
                      std::string("stream=nb_read_frames -of csv=p=0 ") + file.string() +
                      " 2>&1)\" -gt 0 ] 2>/dev/null")
                         .c_str()) == 0;
}

class ToolLifetime : public ::testing::Test {
 protected:
  // Long enough that no encode ends before it is stopped; small enough that the encoder's queue
  // is written out well inside the second a stopped tool is given.
  static void SetUpTestSuite() {
    fs::create_directories(kDir / "config" / "vexlo");
    const std::string make = std::string(VEXLO_FFMPEG_PATH) + " -v error -f lavfi -i " +
                             "testsrc2=size=64x36:rate=25 -t 300 -q:v 8 " + kSource;
    ASSERT_EQ(std::system(make.c_str()), 0);
  }
  static void TearDownTestSuite() { fs::remove_all(kDir); }
};

// ffmpeg.bin is a script that runs the real FFmpeg as its child: Stop ends both, and the MP4 that
// FFmpeg finishes on SIGTERM plays. What ignores SIGTERM (the script of the second row, and the
// sleep it goes on to once FFmpeg has ended) is killed a second later.
TEST_F(ToolLifetime, AStoppedWrapperScriptEndsWithItsToolAndTheMp4Plays) {
  for (const bool ignoresTerm : {false, true}) {
    const fs::path destination = kDir / "stopped.mpv", pids = kDir / "pids";
    fs::remove(pids), fs::remove(destination);  // the last row's file must not count
    std::ofstream(kDir / "ffmpeg.bin")
        << "#!/bin/sh\n"
        << (ignoresTerm ? "trap '' TERM\n" : "") << VEXLO_FFMPEG_PATH << " \"$@\" &\necho $$ $! > "
        << pids << "\nwait\nsleep 60\n";
    fs::permissions(kDir / "ffmpeg.bin", fs::perms::owner_all);
    vexlo::process::ProcessRunner runner;
    runner.SetCommandLine(
        vexlo::encode::EncodeMpv({}, kDir.string(), kSource, destination.string()).c_str());
    EXPECT_EQ(runner.Start(), 0);
    pid_t wrapper = 0, tool = 0;
    ASSERT_TRUE(WaitUntil([&] {
      return std::ifstream(pids) >> wrapper >> tool && fs::exists(destination) &&
             fs::file_size(destination) > 40000;
    }));
    const auto before = Clock::now();
    runner.Close();
    const auto took = Clock::now() - before;
    EXPECT_TRUE(WaitUntil([&] { return !Running(wrapper) && !Running(tool); }, 5s));
    EXPECT_EQ(took >= 1s, ignoresTerm);
    EXPECT_EQ(WTERMSIG(runner.waitStatus()), ignoresTerm ? SIGKILL : SIGTERM);
    EXPECT_TRUE(Plays(destination));
  }
}

TEST_F(ToolLifetime, AKilledVexloTakesItsToolAlong) {
  if (!fs::exists(kBuildDir / "vexlo")) GTEST_SKIP() << "this build has no vexlo executable";
  // What a settings write killed before its rename leaves: removed at the next start.
  const fs::path stale = kDir / "config" / "vexlo" / "HKEY_CURRENT_USER.reg.Ab12Cd";
  std::ofstream(stale) << "half a write";
  const fs::path destination = kDir / "killed.h264";
  int closedOutput[2];
  ASSERT_EQ(::pipe(closedOutput), 0);
  ::close(closedOutput[0]);  // as in `vexlo ... | true`: SIGPIPE must not end vexlo
  const pid_t vexlo = ::fork();
  if (vexlo == 0) {
    ::dup2(closedOutput[1], STDOUT_FILENO);
    ::setenv("XDG_CONFIG_HOME", (kDir / "config").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string argument = kSource + "," + destination.string();
    ::execl((kBuildDir / "vexlo").c_str(), "vexlo", argument.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(closedOutput[1]);
  // Its children: the guard, which leads a process group of its own, and the tool in that group.
  pid_t tool = 0, guard = 0;
  ASSERT_TRUE(WaitUntil([&] {
    for (const auto& entry : fs::directory_iterator("/proc")) {
      const pid_t pid = std::atoi(entry.path().filename().c_str());
      int parent = 0, group = 0;
      if (std::sscanf(Stat(pid).c_str(), "%*c %d %d", &parent, &group) == 2 && parent == vexlo)
        (group == pid ? guard : tool) = pid;
    }
    return tool && guard && fs::exists(destination) && fs::file_size(destination) > 0;
  }));
  EXPECT_FALSE(fs::exists(stale));
  ::kill(vexlo, SIGKILL);
  ASSERT_EQ(::waitpid(vexlo, nullptr, 0), vexlo);
  const auto killed = Clock::now();
  EXPECT_TRUE(WaitUntil([&] { return !Running(tool); }, 5s));
  EXPECT_LT(Clock::now() - killed, 1s);
  EXPECT_TRUE(WaitUntil([&] { return !Running(guard); }, 5s));  // within its grace time
  EXPECT_TRUE(Plays(destination));  // ended by SIGTERM, FFmpeg finished the file
}

}  // namespace
