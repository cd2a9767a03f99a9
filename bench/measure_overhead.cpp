// `vexlo --measure SOURCE OUTPUT` as a user runs it (the program's start, the checks, the
// measuring ffmpeg run and the parse; the prober only when that run cannot be trusted) against
// the same ffmpeg command line run directly, side by side in alternating rounds. Prints each
// round, the medians, the median of the per-round differences and the quartiles of the ratios
// (on a shared machine their spread is the bench's own noise) and, last, "ratio: X" (vexlo time /
// direct time, the median of the rounds' ratios: one slow run of either kind moves a ratio of
// sums by more than the overhead being measured).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "jobs/QualityMeasure.h"
#include "platform/ChildProcess.h"
#include "platform/CommandLineSplit.h"
#include "platform/FileDescriptor.h"
#include "platform/Paths.h"
#include "platform/Processes.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 9;

// Runs a program with its output to a file and an empty pipe as its input: the seconds it took,
// or -1 when it did not end with exit code 0.
double TimedRun(const std::vector<std::string>& arguments, const std::string& outputFile) {
  vexlo::platform::UniqueFd output(vexlo::platform::CreateForWriting(outputFile));
  vexlo::platform::Pipe input;
  if (!output.valid() ||
      vexlo::platform::MakePipe(input, vexlo::platform::PipeBlocking::kNeitherBlocks) != 0) {
    return -1;
  }
  vexlo::platform::ChildProcess child;
  const auto start = Clock::now();
  const int failure = child.Spawn(arguments, input.read.get(), output.get());
  const int status = failure == 0 ? child.Reap() : -1;
  const std::chrono::duration<double> took = Clock::now() - start;
  if (status == -1) return -1;
  const vexlo::platform::ChildEnd end = vexlo::platform::DescribeWaitStatus(status);
  return end.exited && end.exitCode == 0 ? took.count() : -1.0;
}

}  // namespace

int main() {
  // The bench lives in <build>/bench, vexlo and its tools in <build>.
  const fs::path buildDir = fs::path(vexlo::platform::ExecutableDirectory()).parent_path();
  const std::string vexlo = (buildDir / "vexlo").string();
  const std::string work =
      (fs::temp_directory_path() /
       ("vexlo_measure_overhead_" + std::to_string(vexlo::platform::CurrentProcessId())))
          .string();
  std::error_code error;
  if (!fs::create_directory(work, error) || !fs::exists(vexlo)) {
    std::fprintf(stderr, "needs %s and a temporary folder\n", vexlo.c_str());
    return 1;
  }
  // 60 s of 1280x720 at 25 frames/s, and its encode. What vexlo adds is a fixed cost per
  // measurement, not one per frame, so the clip's length decides the ratio: a minute is still
  // shorter than most of what gets encoded and measured (an episode, a film), and a shorter clip
  // lets the machine's load swing the ratio more than the cost itself (see the quartiles).
  const std::string ffmpeg = std::string("\"") + VEXLO_FFMPEG_PATH + "\" -v error -y ";
  const std::string source = work + "/clip.mp4";
  const std::string output = work + "/encoded.mp4";
  if (std::system((ffmpeg +
                   "-f lavfi -i testsrc2=size=1280x720:rate=25:duration=60 -c:v libx264 "
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
  // The command line vexlo runs for an encode that kept the source's rate.
  const auto direct = vexlo::platform::SplitCommandLine(
      vexlo::jobs::QualityCommandLine(request, "source_fps"));
  const std::vector<std::string> viaVexlo = {vexlo, "--measure", source, output};

  std::vector<double> ratios;
  std::vector<double> differences;
  std::vector<double> vexloTimes;
  std::vector<double> directTimes;
  for (int round = 1; round <= kRounds; ++round) {
    const auto timed = [&work](const std::vector<std::string>& arguments) {
      return TimedRun(arguments, work + "/log.txt");
    };
    // Which of the two goes first alternates, so that neither always meets a cold cache.
    double v = 0;
    double d = 0;
    if (round % 2 == 1) {
      v = timed(viaVexlo);
      d = timed(direct);
    } else {
      d = timed(direct);
      v = timed(viaVexlo);
    }
    if (v < 0 || d < 0) {
      std::fprintf(stderr, "round %d: a run failed (vexlo %.3f, direct %.3f)\n", round, v, d);
      return 1;
    }
    std::printf("round %d: vexlo %.3f s, direct %.3f s\n", round, v, d);
    std::fflush(stdout);
    ratios.push_back(v / d);
    differences.push_back(v - d);
    vexloTimes.push_back(v);
    directTimes.push_back(d);
  }
  fs::remove_all(work);
  const auto at = [](std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1) + 0.5)];
  };
  std::printf("median: vexlo %.3f s, direct %.3f s, difference %.3f s\n", at(vexloTimes, 0.5),
              at(directTimes, 0.5), at(differences, 0.5));
  std::printf("ratio quartiles: %.3f %.3f\n", at(ratios, 0.25), at(ratios, 0.75));
  std::printf("ratio: %.3f\n", at(ratios, 0.5));
  return 0;
}
