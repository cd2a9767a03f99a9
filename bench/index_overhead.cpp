// The frame index of a clip of many small frames through a runner and the index job, against
// the prober writing the same report to /dev/null, measured side by side in alternating rounds.
// Prints the times of each round and, last, "ratio: X" (index time / prober time, medians).
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "jobs/IndexJob.h"
#include "analysis/IndexNaming.h"
#include "jobs/JobWindow.h"
#include "process/ToolRun.h"
#include "process/ToolCommand.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using vexlo::jobs::IndexJob;

constexpr int kRounds = 5;
constexpr int kSeconds = 800;  // 20,000 frames at 25 frames/s

// A window that takes the job's lines and posts and does nothing with them.
class QuietWindow : public vexlo::jobs::JobWindow {
 public:
  vexlo::jobs::JobFigures& jobFigures() override { return figures_; }
  void logAppend(std::string_view) override {}
  void flushLog() override {}
  void sendProgress(int) override {}
  void postJobStarted(vexlo::jobs::JobKind) override {}
  void postJobEnd(vexlo::jobs::JobEnd) override {}

 private:
  vexlo::jobs::JobFigures figures_;
};

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs a program with its output and errors thrown away; its exit status, or -1.
int RunQuietly(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  const int failure = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = -1;
  if (failure != 0 || waitpid(pid, &status, 0) < 0) return -1;
  return status;
}

double TimeIndexJob(const std::string& programDir, const std::string& clip) {
  QuietWindow window;
  IndexJob job(window);
  const auto start = Clock::now();
  job.Prepare(*vexlo::analysis::IndexPathFor(clip, false), false);
  vexlo::process::RunWatched(vexlo::analysis::FrameIndexCommandLine(programDir, clip), {},
                             job.Watch());
  const double seconds = SecondsSince(start);
  if (job.state().header.frameCount != kSeconds * 25) {
    std::fprintf(stderr, "index holds %lld frames\n",
                 static_cast<long long>(job.state().header.frameCount));
  }
  return seconds;
}

double TimeProber(const std::string& clip) {
  const auto start = Clock::now();
  RunQuietly({VEXLO_FFPROBE_PATH, "-show_frames", clip});
  return SecondsSince(start);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main() {
  std::string directory = fs::temp_directory_path().string() + "/vexlo_index_overhead_XXXXXX";
  if (mkdtemp(directory.data()) == nullptr) return 1;
  const std::string programDir = directory + "/program";
  fs::create_directories(programDir);
  fs::create_symlink(VEXLO_FFPROBE_PATH, programDir + "/ffprobe.bin");
  const std::string clip = directory + "/clip.mp4";
  const int made = RunQuietly({VEXLO_FFMPEG_PATH, "-y", "-f", "lavfi", "-i",
                               "testsrc=size=64x48:rate=25:duration=" + std::to_string(kSeconds),
                               "-c:v", "libx264", "-g", "8", "-bf", "0", clip});
  if (made != 0) {
    std::fprintf(stderr, "could not make the clip\n");
    return 1;
  }
  std::vector<double> indexTimes, proberTimes;
  for (int round = 0; round < kRounds; ++round) {
    // Alternate which one goes first, so neither always meets a warm or a cold cache.
    if (round % 2 == 0) indexTimes.push_back(TimeIndexJob(programDir, clip));
    proberTimes.push_back(TimeProber(clip));
    if (round % 2 == 1) indexTimes.push_back(TimeIndexJob(programDir, clip));
    std::printf("round %d: index %.3f s, ffprobe -show_frames > /dev/null %.3f s\n", round + 1,
                indexTimes.back(), proberTimes.back());
  }
  const double index = Median(indexTimes), prober = Median(proberTimes);
  std::printf("median: index %.3f s, ffprobe %.3f s (%d frames)\n", index, prober, kSeconds * 25);
  std::error_code ignored;
  fs::remove_all(directory, ignored);
  std::printf("ratio: %.3f\n", index / prober);
  return 0;
}
