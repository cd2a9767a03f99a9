// Twenty short clips through one batch (`vexlo --output-dir`: each item's encode, its read-back
// with ffprobe.bin and its rename) against the same twenty ffmpeg command lines run by a shell
// loop, timed side by side in alternating rounds. Prints both medians and, last, the ratio
// batch time / loop time.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/BenchTiming.h"
#include "platform/Paths.h"

namespace {

namespace fs = std::filesystem;

constexpr int kClips = 20;
constexpr int kRounds = 5;

using vexlo::bench::Median;
using vexlo::bench::Timed;

}  // namespace

int main() {
  const fs::path buildDir = fs::path(vexlo::platform::ExecutableDirectory()).parent_path();
  const std::string vexlo = (buildDir / "vexlo").string();
  std::string pattern = (fs::temp_directory_path() / "vexlo_batch_overhead_XXXXXX").string();
  if (!::mkdtemp(pattern.data()) || !fs::exists(vexlo)) {
    std::fprintf(stderr, "needs %s and a temporary folder\n", vexlo.c_str());
    return 1;
  }
  const fs::path work = pattern;
  ::setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);
  std::string sources;
  for (int i = 0; i < kClips; ++i) {
    const std::string clip = (work / ("clip" + std::to_string(i) + ".mp4")).string();
    const std::string make = std::string(VEXLO_FFMPEG_PATH) +
                             " -v error -y -f lavfi -i testsrc=size=640x360:rate=25:duration=4 "
                             "-f lavfi -i sine=duration=4 -c:a aac -shortest \"" + clip + "\"";
    if (std::system(make.c_str()) != 0) return 1;
    sources += " \"" + clip + "\"";
  }
  const std::string batch = "\"" + vexlo + "\" --type h264 --output-dir \"" + (work / "out").string() +
                            "\" --overwrite" + sources + " 2>\"" + (work / "log").string() + "\"";
  fs::create_directories(work / "out");
  // The loop runs the very command lines the batch logged, in a shell, one after the other.
  if (Timed(batch) < 0) return 1;
  const int commands = vexlo::bench::LoggedCommandLines((work / "log").string(),
                                                        (work / "loop.sh").string(), " || exit 1");
  if (commands != kClips) {
    std::fprintf(stderr, "the batch logged %d command lines, not %d\n", commands, kClips);
    return 1;
  }
  std::vector<double> batchTimes, loopTimes;
  for (int round = 0; round < kRounds; ++round) {
    const double b = Timed(batch);
    const double l = Timed("sh \"" + (work / "loop.sh").string() + "\"");
    if (b < 0 || l < 0) return 1;
    batchTimes.push_back(b);
    loopTimes.push_back(l);
  }
  fs::remove_all(work);
  const double b = Median(batchTimes), l = Median(loopTimes);
  std::printf("%d clips of 4 s at 640x360, median of %d rounds\n", kClips, kRounds);
  std::printf("batch (encode, read back, rename): %.3f s\n", b);
  std::printf("the same ffmpeg command lines in a shell loop: %.3f s\n", l);
  std::printf("ratio: %.3f\n", b / l);
  return 0;
}
