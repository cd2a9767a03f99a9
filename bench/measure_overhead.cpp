// `vexlo --measure SOURCE OUTPUT` as a user runs it (the program's start, the checks, the
// prober's look at the output, the measuring ffmpeg run and the parse) against the same ffmpeg
// command line run directly, side by side in alternating rounds. Prints each round, the
// processor-time ratio and, last, "ratio: X" (vexlo time / direct time, the median of the
// rounds' ratios).
#include <fcntl.h>
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

#include "jobs/QualityMeasure.h"
#include "platform/ChildProcess.h"
#include "platform/CommandLineSplit.h"
#include "platform/Paths.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 7;

double ChildrenCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs a program with its output thrown away: the seconds it took, or -1 when it did not end
// with exit code 0.
double TimedRun(const std::vector<std::string>& arguments) {
  const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  vexlo::platform::ChildProcess child;
  const auto start = Clock::now();
  const int failure = child.Spawn(arguments, null, null);
  const int status = failure == 0 ? child.Reap() : -1;
  const std::chrono::duration<double> took = Clock::now() - start;
  ::close(null);
  return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? took.count() : -1.0;
}

}  // namespace

int main() {
  // The bench lives in <build>/bench, vexlo and its tools in <build>.
  const fs::path buildDir = fs::path(vexlo::platform::ExecutableDirectory()).parent_path();
  const std::string vexlo = (buildDir / "vexlo").string();
  std::string work = (fs::temp_directory_path() / "vexlo_measure_overhead_XXXXXX").string();
  if (::mkdtemp(work.data()) == nullptr || !fs::exists(vexlo)) {
    std::fprintf(stderr, "needs %s and a temporary folder\n", vexlo.c_str());
    return 1;
  }
  // 20 s of 1280x720 at 25 frames/s (a short clip of a common size), and its encode.
  const std::string ffmpeg = std::string("\"") + VEXLO_FFMPEG_PATH + "\" -v error -y ";
  const std::string source = work + "/clip.mp4";
  const std::string output = work + "/encoded.mp4";
  if (std::system((ffmpeg +
                   "-f lavfi -i testsrc2=size=1280x720:rate=25:duration=20 -c:v libx264 "
                   "-preset ultrafast -pix_fmt yuv420p \"" +
                   source + "\"")
                      .c_str()) != 0 ||
      std::system((ffmpeg + "-i \"" + source + "\" -c:v libx264 -preset veryfast -crf 28 \"" +
                   output + "\"")
                      .c_str()) != 0) {
    return 1;
  }
  vexlo::jobs::QualityRequest request;
  request.sourcePath = source;
  request.outputPath = output;
  request.programDir = buildDir.string();
  // What the prober says of the encode (ffprobe's avg_frame_rate of an MP4 at 25 frames/s).
  const vexlo::jobs::VideoShape shape{1280, 720, "yuv420p", "25/1"};
  const auto direct =
      vexlo::platform::SplitCommandLine(vexlo::jobs::QualityCommandLine(request, shape, ""));
  const std::vector<std::string> viaVexlo = {vexlo, "--measure", source, output};

  std::vector<double> ratios;
  double vexloCpu = 0;
  double directCpu = 0;
  for (int round = 1; round <= kRounds; ++round) {
    const auto timed = [](double& cpu, const std::vector<std::string>& arguments) {
      const double before = ChildrenCpuSeconds();
      const double took = TimedRun(arguments);
      cpu += ChildrenCpuSeconds() - before;
      return took;
    };
    // Which of the two goes first alternates, so that neither always meets a cold cache.
    double v = 0;
    double d = 0;
    if (round % 2 == 1) {
      v = timed(vexloCpu, viaVexlo);
      d = timed(directCpu, direct);
    } else {
      d = timed(directCpu, direct);
      v = timed(vexloCpu, viaVexlo);
    }
    if (v < 0 || d < 0) {
      std::fprintf(stderr, "round %d: a run failed (vexlo %.3f, direct %.3f)\n", round, v, d);
      return 1;
    }
    std::printf("round %d: vexlo %.3f s, direct %.3f s\n", round, v, d);
    ratios.push_back(v / d);
  }
  fs::remove_all(work);
  std::printf("processor time: vexlo and its tools %.3f s, the tool alone %.3f s: %.3f\n", vexloCpu,
              directCpu, vexloCpu / directCpu);
  std::nth_element(ratios.begin(), ratios.begin() + kRounds / 2, ratios.end());
  std::printf("ratio: %.3f\n", ratios[kRounds / 2]);
  return 0;
}
