// The picture of a 20,000-frame clip's frames, `vexlo --plot PICTURE CLIP` as a user runs it
// (the program's start, the prober's frame report, the model and the SVG written), against the
// frame index job alone through a runner (the same prober command line and parser, the index
// file written), measured side by side in alternating rounds. Prints each round with the time and
// the processor time (user and system, the prober's included), the picture's size, the
// processor-time ratio (steadier on a busy machine) and, last, "ratio: X" (plot time / index
// time, medians).
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
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
#include "platform/Paths.h"
#include "jobs/JobWindow.h"
#include "process/ToolRun.h"
#include "process/ToolCommand.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using vexlo::jobs::IndexJob;

constexpr int kRounds = 9;
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

// Processor seconds (user and system) of this process and of its children that have ended.
double ProcessorSeconds() {
  double seconds = 0;
  for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
    rusage usage{};
    getrusage(who, &usage);
    for (const timeval& t : {usage.ru_utime, usage.ru_stime}) {
      seconds += static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    }
  }
  return seconds;
}

// The wall-clock and processor seconds of one run.
struct Times {
  double wall = 0;
  double processor = 0;
};

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

Times TimeIndexJob(const std::string& programDir, const std::string& clip) {
  QuietWindow window;
  IndexJob job(window);
  const auto start = Clock::now();
  const double processor = ProcessorSeconds();
  if (job.Prepare(*vexlo::analysis::IndexPathFor(clip, false), false) != 0) return {};
  vexlo::process::RunWatched(vexlo::analysis::FrameIndexCommandLine(programDir, clip), {},
                             job.Watch());
  return {SecondsSince(start), ProcessorSeconds() - processor};
}

Times TimePlot(const std::string& vexlo, const std::string& picture, const std::string& clip) {
  const auto start = Clock::now();
  const double processor = ProcessorSeconds();
  const int status = RunQuietly({vexlo, "--plot", picture, clip});
  if (status != 0) std::fprintf(stderr, "vexlo --plot ended with status %d\n", status);
  return {SecondsSince(start), ProcessorSeconds() - processor};
}

double Median(const std::vector<Times>& times, double Times::*field) {
  std::vector<double> values;
  for (const Times& t : times) values.push_back(t.*field);
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main() {
  // The bench lives in <build>/bench, vexlo in <build> with ffprobe.bin beside it.
  const fs::path programDir = fs::path(vexlo::platform::ExecutableDirectory()).parent_path();
  const std::string vexlo = (programDir / "vexlo").string();
  std::string directory = (fs::temp_directory_path() / "vexlo_plot_overhead_XXXXXX").string();
  if (!fs::exists(vexlo) || mkdtemp(directory.data()) == nullptr) {
    std::fprintf(stderr, "needs %s and a temporary folder\n", vexlo.c_str());
    return 1;
  }
  const std::string clip = directory + "/clip.mp4", picture = directory + "/frames.svg";
  const int made = RunQuietly({VEXLO_FFMPEG_PATH, "-y", "-f", "lavfi", "-i",
                               "testsrc=size=64x48:rate=25:duration=" + std::to_string(kSeconds),
                               "-c:v", "libx264", "-g", "8", "-bf", "0", clip});
  if (made != 0) {
    std::fprintf(stderr, "could not make the clip\n");
    return 1;
  }
  std::vector<Times> plotTimes, indexTimes;
  for (int round = 0; round < kRounds; ++round) {
    // Alternate which one goes first, so neither always meets a warm or a cold cache.
    if (round % 2 == 0) plotTimes.push_back(TimePlot(vexlo, picture, clip));
    indexTimes.push_back(TimeIndexJob(programDir.string(), clip));
    if (round % 2 == 1) plotTimes.push_back(TimePlot(vexlo, picture, clip));
    std::printf("round %d: vexlo --plot %.3f s (processor %.3f s), index job %.3f s (%.3f s)\n",
                round + 1, plotTimes.back().wall, plotTimes.back().processor,
                indexTimes.back().wall, indexTimes.back().processor);
  }
  const double plot = Median(plotTimes, &Times::wall), index = Median(indexTimes, &Times::wall);
  const double plotProcessor = Median(plotTimes, &Times::processor);
  const double indexProcessor = Median(indexTimes, &Times::processor);
  std::error_code error;
  const auto size = fs::file_size(picture, error);
  std::printf("median: plot %.3f s, index %.3f s (%d frames); picture %llu bytes\n", plot, index,
              kSeconds * 25, static_cast<unsigned long long>(error ? 0 : size));
  fs::remove_all(directory, error);
  std::printf("processor time: plot %.3f s, index %.3f s, ratio %.3f\n", plotProcessor,
              indexProcessor, plotProcessor / indexProcessor);
  std::printf("ratio: %.3f\n", plot / index);
  return 0;
}
