// Items side by side: two sets of clips through `vexlo --jobs auto`, `vexlo --jobs 1`, and GNU
// parallel -j2 running the command lines `--jobs 1` logged (the batch's lines as they are for
// one item alone), in alternating rounds. Prints each median, the ratios and, last, the smaller
// of the two ratios parallel time / --jobs auto time (1 or more: auto is as fast as parallel).
// Beside each time, the peak memory of the run (the program and its tools together).
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/BenchTiming.h"
#include "bench/TreeMemory.h"
#include "platform/Paths.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRounds = 3;

struct Set {
  const char* name;
  int clips;
  const char* size;
  int seconds;
};
constexpr Set kSets[] = {{"small", 24, "320x240", 3}, {"large", 4, "1280x720", 10}};

using vexlo::bench::Median;
using vexlo::bench::Timed;

// The command lines a batch logged, each a line of `script` for parallel; how many.
int CommandLines(const fs::path& log, const fs::path& script) {
  return vexlo::bench::LoggedCommandLines(log.string(), script.string(), "");
}

}  // namespace

int main() {
  const fs::path buildDir = fs::path(vexlo::platform::ExecutableDirectory()).parent_path();
  const std::string vexlo = (buildDir / "vexlo").string();
  std::string pattern = (fs::temp_directory_path() / "vexlo_batch_parallel_XXXXXX").string();
  if (!::mkdtemp(pattern.data()) || !fs::exists(vexlo) || std::system("parallel --version >/dev/null") != 0) {
    std::fprintf(stderr, "needs %s, GNU parallel and a temporary folder\n", vexlo.c_str());
    return 1;
  }
  const fs::path work = pattern;
  ::setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);
  double worst = 1e9;
  for (const Set& set : kSets) {
    const fs::path folder = work / set.name;
    fs::create_directories(folder / "out");
    std::string sources;
    for (int i = 0; i < set.clips; ++i) {
      const std::string clip = (folder / ("clip" + std::to_string(i) + ".mp4")).string();
      const std::string make = std::string(VEXLO_FFMPEG_PATH) +
                               " -v error -y -f lavfi -i testsrc=size=" + set.size +
                               ":rate=25:duration=" + std::to_string(set.seconds) +
                               " -c:v libx264 -preset ultrafast \"" + clip + "\"";
      if (std::system(make.c_str()) != 0) return 1;
      sources += " \"" + clip + "\"";
    }
    const auto batch = [&](const char* jobs) {
      return "\"" + vexlo + "\" --type h264 --jobs " + jobs + " --output-dir \"" +
             (folder / "out").string() + "\" --overwrite" + sources + " 2>\"" +
             (folder / "log").string() + "\"";
    };
    if (Timed(batch("1")) < 0 || CommandLines(folder / "log", folder / "lines") != set.clips) {
      std::fprintf(stderr, "the %s set's batch did not log its %d command lines\n", set.name,
                   set.clips);
      return 1;
    }
    const std::string parallel = "parallel -j2 < \"" + (folder / "lines").string() + "\"";
    std::vector<double> one, automatic, gnu;
    double peaks[3] = {0, 0, 0};  // MiB: --jobs 1, --jobs auto, parallel
    const auto timed = [&peaks](const std::string& command, int which) {
      double peak = 0;
      const double seconds = vexlo::bench::TimedWithPeak(command, peak);
      peaks[which] = std::max(peaks[which], peak);
      return seconds;
    };
    for (int round = 0; round < kRounds; ++round) {
      one.push_back(timed(batch("1"), 0));
      automatic.push_back(timed(batch("auto"), 1));
      gnu.push_back(timed(parallel, 2));
      if (one.back() < 0 || automatic.back() < 0 || gnu.back() < 0) return 1;
    }
    const double o = Median(one), a = Median(automatic), g = Median(gnu);
    std::printf("%s: %d clips of %s, %d s, median of %d rounds\n", set.name, set.clips, set.size,
                set.seconds, kRounds);
    std::printf("  --jobs 1 %.2f s (peak %.0f MiB), --jobs auto %.2f s (peak %.0f MiB), "
                "parallel -j2 %.2f s (peak %.0f MiB)\n",
                o, peaks[0], a, peaks[1], g, peaks[2]);
    std::printf("  --jobs 1 / --jobs auto %.3f, parallel / --jobs auto %.3f\n", o / a, g / a);
    std::fflush(stdout);
    worst = std::min(worst, g / a);
  }
  fs::remove_all(work);
  std::printf("ratio: %.3f\n", worst);
  return 0;
}
