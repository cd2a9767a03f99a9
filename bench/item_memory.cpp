// The memory estimate that decides whether one more item may start in `--jobs auto`, against
// what an item really takes: for each kind of source and encoder, one item through `vexlo --jobs
// 1`, the peak resident memory of the program and its tool together sampled from /proc. Prints
// each row's estimate and peak and, last, the smallest estimate / peak (1 or more: the estimate
// never fell short).
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/TreeMemory.h"
#include "jobs/BatchSchedule.h"
#include "platform/Paths.h"

namespace {

namespace fs = std::filesystem;

struct Kind {
  const char* type;  // --type
  int width;
  int height;
  const char* pixelFormat;  // the source's
  int bitDepth;
};
constexpr Kind kKinds[] = {
    {"h264", 320, 240, "yuv420p", 8},       {"h264", 1280, 720, "yuv420p", 8},
    {"h264", 1920, 1080, "yuv420p", 8},     {"h264", 1920, 1080, "yuv422p10le", 10},
    {"h265", 1280, 720, "yuv420p", 8},      {"h265", 1920, 1080, "yuv420p10le", 10},
    {"mpv", 1920, 1080, "yuv444p", 8},
};

}  // namespace

int main() {
  const fs::path buildDir = fs::path(vexlo::platform::ExecutableDirectory()).parent_path();
  const std::string vexlo = (buildDir / "vexlo").string();
  std::string pattern = (fs::temp_directory_path() / "vexlo_item_memory_XXXXXX").string();
  if (!::mkdtemp(pattern.data()) || !fs::exists(vexlo)) {
    std::fprintf(stderr, "needs %s and a temporary folder\n", vexlo.c_str());
    return 1;
  }
  const fs::path work = pattern;
  ::setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);
  fs::create_directories(work / "out");
  double smallest = 1e9;
  std::printf("%-5s %-9s %-12s %9s %9s %7s\n", "type", "size", "source", "estimate", "peak",
              "ratio");
  for (const Kind& kind : kKinds) {
    const std::string size = std::to_string(kind.width) + "x" + std::to_string(kind.height);
    const std::string clip = (work / (size + kind.pixelFormat + ".mkv")).string();
    const std::string make = std::string(VEXLO_FFMPEG_PATH) +
                             " -v error -y -f lavfi -i testsrc2=size=" + size +
                             ":rate=25:duration=3 -vf noise=alls=12:allf=t -pix_fmt " +
                             kind.pixelFormat + " -c:v ffv1 \"" + clip + "\"";
    if (std::system(make.c_str()) != 0) return 1;
    double peak = 0;
    const std::string batch = "\"" + vexlo + "\" --type " + kind.type +
                              " --jobs 1 --overwrite --output-dir \"" + (work / "out").string() +
                              "\" \"" + clip + "\" 2>\"" + (work / "log").string() + "\"";
    if (vexlo::bench::TimedWithPeak(batch, peak) < 0) {
      std::fprintf(stderr, "the %s encode of %s failed; its log is in %s\n", kind.type,
                   clip.c_str(), (work / "log").c_str());
      return 1;
    }
    vexlo::encode::EncoderSettings settings;
    settings.outType = std::string(kind.type) == "h264" ? 0 : std::string(kind.type) == "h265" ? 1 : 2;
    const double estimate = static_cast<double>(vexlo::jobs::EstimatedItemMemory(
                                {kind.width, kind.height, kind.bitDepth}, settings, false)) /
                            (1 << 20);
    std::printf("%-5s %-9s %-12s %6.0f MiB %5.0f MiB %7.2f\n", kind.type, size.c_str(),
                kind.pixelFormat, estimate, peak, estimate / peak);
    std::fflush(stdout);
    smallest = std::min(smallest, estimate / peak);
  }
  fs::remove_all(work);
  std::printf("ratio: %.3f\n", smallest);
  return 0;
}
