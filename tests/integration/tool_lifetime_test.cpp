// No tool outlives its job or Vexlo: a stopped tool's whole process group ends, a stopped
// MP4 encode is still a playable file, and a Vexlo killed with SIGKILL takes its tool with it.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "encode/VideoEncodes.h"
#include "process/ProcessRunner.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using vexlo::process::ProcessRunner;

const fs::path kBuildDir = fs::path(VEXLO_TEST_BINARY_DIR).parent_path();  // vexlo, ffmpeg.bin

// Polls until `done` holds; false after `limit`.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 30s) {
  for (const auto deadline = Clock::now() + limit; !done(); std::this_thread::sleep_for(5ms)) {
    if (Clock::now() > deadline) return false;
  }
  return true;
}

// The fields of /proc/PID/stat after the command name: state, parent, ...; empty when gone.
std::vector<std::string> StatFields(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(file)), {});
  std::vector<std::string> fields;
  std::istringstream rest(text.substr(text.rfind(')') + 1));
  for (std::string field; rest >> field;) fields.push_back(field);
  return fields;
}

std::string Comm(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/comm");
  return std::string((std::istreambuf_iterator<char>(file)), {});
}

// A zombie left to an init that does not reap counts as ended.
bool Running(pid_t pid) {
  const auto fields = StatFields(pid);
  return !fields.empty() && fields[0] != "Z";
}

std::vector<pid_t> ChildrenOf(pid_t parent) {
  std::vector<pid_t> children;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const auto fields = StatFields(std::stoi(name));
    if (fields.size() > 1 && fields[1] == std::to_string(parent)) children.push_back(std::stoi(name));
  }
  return children;
}

int CountFrames(const fs::path& file) {
  const std::string command = std::string(VEXLO_FFPROBE_PATH) +
                              " -v error -count_frames -select_streams v:0 -show_entries "
                              "stream=nb_read_frames -of csv=p=0 \"" + file.string() + "\"";
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    for (char buffer[64]; std::fgets(buffer, sizeof buffer, pipe);) out += buffer;
    ::pclose(pipe);
  }
  return std::atoi(out.c_str());
}

class ToolLifetime : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = fs::temp_directory_path() / ("vexlo-lifetime-" + std::to_string(::getpid()));
    fs::create_directories(dir_ / "config");
    // Long enough that no encode below ends before it is stopped; small enough that the
    // encoder's queue is written out well inside the second a stopped tool is given.
    const std::string make = std::string(VEXLO_FFMPEG_PATH) +
                             " -v error -y -f lavfi -i testsrc2=size=128x72:rate=25 -t 300"
                             " -c:v mpeg2video -q:v 8 \"" + Source() + "\"";
    ASSERT_EQ(std::system(make.c_str()), 0);
  }
  static void TearDownTestSuite() { fs::remove_all(dir_); }
  static std::string Source() { return (dir_ / "source.mpg").string(); }

  // Runs a command line; `output` collects what the tool writes.
  void Start(const std::string& commandLine) {
    output_.clear();
    runner_ = std::make_unique<ProcessRunner>();
    runner_->SetCommandLine(commandLine.c_str());
    runner_->output = [](const char* data, int length, void* self) {
      auto& test = *static_cast<ToolLifetime*>(self);
      std::lock_guard lock(test.mutex_);
      test.output_.append(data, static_cast<std::size_t>(length));
      return 0;
    };
    runner_->outputContext = this;
    runner_->Start();
  }
  bool OutputHas(const std::string& text) {
    std::lock_guard lock(mutex_);
    return output_.find(text) != std::string::npos;
  }
  pid_t PidAfter(const std::string& label) {
    std::lock_guard lock(mutex_);
    return std::atoi(output_.c_str() + output_.find(label) + label.size());
  }

  static inline fs::path dir_;
  std::unique_ptr<ProcessRunner> runner_;
  std::mutex mutex_;
  std::string output_;
};

TEST_F(ToolLifetime, StoppingAWrapperScriptStopsItsWholeGroup) {
  // A tool that ignores SIGTERM (here the script and its child) is killed after a second.
  for (const bool ignoresTerm : {false, true}) {
    const fs::path script = dir_ / "ffmpeg.bin";
    std::ofstream(script) << "#!/bin/sh\n" << (ignoresTerm ? "trap '' TERM\n" : "")
                          << "echo wrapper=$$\n\"" VEXLO_TESTTOOL_PATH "\" --print-pid "
                          << "--sleep-ms 60000\necho after\n";
    fs::permissions(script, fs::perms::owner_all);
    Start("\"" + script.string() + "\"");
    ASSERT_TRUE(WaitUntil([&] { return OutputHas("pid="); }));
    const pid_t wrapper = PidAfter("wrapper="), tool = PidAfter("\npid=");
    ASSERT_TRUE(Running(wrapper) && Running(tool));
    const auto before = Clock::now();
    runner_->Close();
    const auto took = Clock::now() - before;
    EXPECT_TRUE(WaitUntil([&] { return !Running(wrapper) && !Running(tool); }, 5s));
    EXPECT_EQ(took >= 1s, ignoresTerm);
    EXPECT_LT(took, 5s);
    EXPECT_EQ(WTERMSIG(runner_->waitStatus()), ignoresTerm ? SIGKILL : SIGTERM);
  }
}

TEST_F(ToolLifetime, AStoppedMpvEncodeIsAPlayableFile) {
  const fs::path destination = dir_ / "stopped.mpv";
  vexlo::encode::EncoderSettings settings;
  settings.outType = 2;
  Start(vexlo::encode::EncodeMpv(settings, kBuildDir.string(), Source(), destination.string()));
  ASSERT_TRUE(WaitUntil([&] { return OutputHas("frame="); }));
  runner_->Close();
  EXPECT_TRUE(WIFEXITED(runner_->waitStatus()));  // FFmpeg ended by itself on SIGTERM
  EXPECT_GT(CountFrames(destination), 0);
}

TEST_F(ToolLifetime, AKilledVexloTakesItsToolAlong) {
  if (!fs::exists(kBuildDir / "vexlo")) GTEST_SKIP() << "this build has no vexlo executable";
  // What a settings write killed before its rename leaves: removed at the next start.
  const fs::path stale = dir_ / "config" / "vexlo" / "HKEY_CURRENT_USER.reg.Ab12Cd";
  fs::create_directories(stale.parent_path());
  std::ofstream(stale) << "half a write";
  const fs::path destination = dir_ / "killed.h264";
  int closedOutput[2];
  ASSERT_EQ(::pipe(closedOutput), 0);
  ::close(closedOutput[0]);  // as in `vexlo ... | true`: writing to standard output fails
  const pid_t vexlo = ::fork();
  if (vexlo == 0) {
    ::dup2(closedOutput[1], STDOUT_FILENO);
    ::setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string argument = Source() + "," + destination.string();
    ::execl((kBuildDir / "vexlo").c_str(), "vexlo", argument.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(closedOutput[1]);
  std::vector<pid_t> children;
  ASSERT_TRUE(WaitUntil([&] {
    children = ChildrenOf(vexlo);
    return children.size() == 2 && fs::exists(destination) && fs::file_size(destination) > 0;
  }));
  EXPECT_FALSE(fs::exists(stale));
  ::kill(vexlo, SIGKILL);
  int status = 0;
  ASSERT_EQ(::waitpid(vexlo, &status, 0), vexlo);
  EXPECT_EQ(WTERMSIG(status), SIGKILL);  // it was alive until killed: no SIGPIPE
  const auto killed = Clock::now();
  // The tool ends at once; its guard (the other child) within its grace time.
  const pid_t tool = Comm(children[0]) == "ffmpeg.bin\n" ? children[0] : children[1];
  EXPECT_TRUE(WaitUntil([&] { return !Running(tool); }, 5s));
  EXPECT_LT(Clock::now() - killed, 1s);
  EXPECT_TRUE(WaitUntil([&] { return !Running(children[0]) && !Running(children[1]); }, 5s));
  EXPECT_GT(CountFrames(destination), 0);  // ended by SIGTERM, FFmpeg finished the file
}

}  // namespace
