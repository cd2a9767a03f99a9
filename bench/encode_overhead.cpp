// An encode through Vexlo's automatic mode against the same ffmpeg command line run directly,
// timed side by side in one run (alternating rounds). Prints both times and, last, the median of
// the rounds' ratios Vexlo time / direct time: on a shared machine one slow encode of either
// kind moves a ratio of sums by a few per cent, which is more than the overhead being measured.
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

#include "encode/VideoEncodes.h"
#include "platform/ChildProcess.h"
#include "platform/CommandLineSplit.h"
#include "platform/Paths.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 9;

// The processor time of the reaped children so far (the tool a reaped vexlo waited for counts).
double ChildrenCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs a program with its output to /dev/null; the seconds it took, or a negative value when it
// could not start, did not end with exit code 0 or left no encoded file behind.
double TimedRun(const std::vector<std::string>& arguments, const std::string& output) {
  std::error_code ignored;
  fs::remove(output, ignored);
  const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  vexlo::platform::ChildProcess child;
  const auto start = Clock::now();
  const int failure = child.Spawn(arguments, null, null);
  const int status = failure == 0 ? child.Reap() : -1;
  const std::chrono::duration<double> took = Clock::now() - start;
  ::close(null);
  const bool ok = status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
                  fs::file_size(output, ignored) > 0 && !ignored;
  return ok ? took.count() : -1.0;
}

std::string MakeTempDirectory() {
  std::string pattern = (fs::temp_directory_path() / "vexlo_encode_overhead_XXXXXX").string();
  return ::mkdtemp(pattern.data()) ? pattern : std::string();
}

}  // namespace

int main() {
  // The bench lives in <build>/bench, vexlo and its ffmpeg.bin in <build>.
  const fs::path buildDir = fs::path(vexlo::platform::ExecutableDirectory()).parent_path();
  const std::string vexlo = (buildDir / "vexlo").string();
  const std::string work = MakeTempDirectory();
  if (work.empty() || !fs::exists(vexlo)) {
    std::fprintf(stderr, "needs %s and a temporary folder\n", vexlo.c_str());
    return 1;
  }
  // Vexlo keeps its settings in a folder of its own and needs no display.
  ::setenv("XDG_CONFIG_HOME", (work + "/config").c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);

  const std::string source = work + "/clip.mp4";
  const std::string make = std::string("\"") + VEXLO_FFMPEG_PATH +
                           "\" -v error -y -f lavfi -i testsrc=size=960x540:rate=25:duration=10 "
                           "-c:v libx264 -preset ultrafast -pix_fmt yuv420p \"" +
                           source + "\"";
  if (std::system(make.c_str()) != 0) return 1;

  const std::string viaVexloDst = work + "/vexlo.H264";
  const std::string directDst = work + "/direct.H264";
  vexlo::encode::EncoderSettings settings;  // automatic mode: profile 2, CRF position 0
  settings.profile = 2;
  settings.crf = 0;
  const auto direct = vexlo::platform::SplitCommandLine(
      vexlo::encode::EncodeH264(settings, buildDir.string(), source, directDst));
  const std::vector<std::string> viaVexlo = {vexlo, source + "," + viaVexloDst + ",2,0"};

  double vexloTotal = 0;
  double directTotal = 0;
  std::vector<double> ratios;
  double vexloCpu = 0;
  double directCpu = 0;
  for (int round = 1; round <= kRounds; ++round) {
    // Which of the two goes first alternates, so that neither always meets a cold cache.
    double v = 0;
    double d = 0;
    const auto cpuOf = [](double& total, auto run) {
      const double before = ChildrenCpuSeconds();
      const double took = run();
      total += ChildrenCpuSeconds() - before;
      return took;
    };
    const auto runVexlo = [&] {
      return cpuOf(vexloCpu, [&] { return TimedRun(viaVexlo, viaVexloDst); });
    };
    const auto runDirect = [&] {
      return cpuOf(directCpu, [&] { return TimedRun(direct, directDst); });
    };
    if (round % 2 == 1) {
      v = runVexlo();
      d = runDirect();
    } else {
      d = runDirect();
      v = runVexlo();
    }
    if (v < 0 || d < 0) {
      std::fprintf(stderr, "round %d: an encode failed (vexlo %.3f, direct %.3f)\n", round, v, d);
      return 1;
    }
    std::printf("round %d: vexlo %.3f s, direct %.3f s\n", round, v, d);
    vexloTotal += v;
    directTotal += d;
    ratios.push_back(v / d);
  }
  std::printf("vexlo:  %.3f s in %d encodes\n", vexloTotal, kRounds);
  std::printf("direct: %.3f s in %d encodes\n", directTotal, kRounds);
  fs::remove_all(work);
  std::printf("processor time: vexlo and its tool %.3f s, the tool alone %.3f s: %.3f\n", vexloCpu,
              directCpu, vexloCpu / directCpu);
  std::printf("ratio of the sums: %.3f\n", vexloTotal / directTotal);
  std::nth_element(ratios.begin(), ratios.begin() + kRounds / 2, ratios.end());
  std::printf("ratio: %.3f\n", ratios[kRounds / 2]);
  return 0;
}
