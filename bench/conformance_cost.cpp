// What the check of an output against its request costs beside the encode it checks: a 10 s
// 1280x720 clip at 25 frames/s encoded to H.264 with a short GOP (the window's command line), then
// the window's whole check as the window runs it (the output's packets read in-process, the source
// as the encode's report gave it) and what a source header read by the prober costs where that
// report is not enough (an input with sound, a fractional frame rate). Alternating
// rounds; the medians and their ratio. Usage: conformance_cost [ROUNDS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis/InputReport.h"
#include "bench/BenchTiming.h"
#include "encode/EncodeRequest.h"
#include "jobs/ConformanceCheck.h"
#include "platform/Processes.h"
#include "process/ToolRun.h"

namespace fs = std::filesystem;
using namespace vexlo;

namespace {

double Seconds(const std::chrono::steady_clock::time_point& since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const fs::path dir = fs::temp_directory_path() /
                       ("vexlo-conformance-" + std::to_string(platform::CurrentProcessId()));
  fs::create_directories(dir);
  fs::create_symlink(VEXLO_FFMPEG_PATH, dir / "ffmpeg.bin");
  fs::create_symlink(VEXLO_FFPROBE_PATH, dir / "ffprobe.bin");
  const std::string source = (dir / "source.mp4").string(), output = (dir / "out.H264").string();
  const std::string make = std::string(VEXLO_FFMPEG_PATH) +
                           " -v error -y -f lavfi -i testsrc2=size=1280x720:rate=25:duration=10 "
                           "-c:v libx264 -preset ultrafast -crf 18 " +
                           source;
  if (bench::Timed(make) < 0) return 1;
  encode::EncoderSettings settings;
  settings.profile = 2;
  settings.crf = 6;
  settings.shortGop = true;
  const encode::EncodePlan plan =
      encode::PlanVideoEncode(settings, {source, output, {}}, dir.string());
  const analysis::ConformanceRequest request =
      jobs::ConformanceRequestFor(settings, plan.commandLine, source);
  analysis::InputReport input;
  const auto keep = [&input](std::string_view line) {
    input.Read(line);
    return false;
  };
  std::vector<double> encodes, checks, sourceReads;
  for (int round = 0; round < rounds; ++round) {
    auto start = std::chrono::steady_clock::now();
    input = {};
    if (!process::RunTool(plan.commandLine, dir.string(), keep).finished()) return 1;
    encodes.push_back(Seconds(start));
    start = std::chrono::steady_clock::now();
    const jobs::ConformanceRun run =
        jobs::CheckConformance(request, dir.string(), source, output,
                               {jobs::RawCodecOf(settings), input.Video()});
    checks.push_back(Seconds(start));
    if (run.outcome != process::JobOutcome::kFinished || !run.report.ok()) {
      std::fprintf(stderr, "the check failed: %s\n", run.reason.c_str());
      return 1;
    }
    start = std::chrono::steady_clock::now();
    jobs::CompareWithSource(request, dir.string(), source, {}, std::nullopt);
    sourceReads.push_back(Seconds(start));
    std::printf("round %d: encode %.2f s, check %.3f s, source header %.3f s\n", round + 1,
                encodes.back(), checks.back(), sourceReads.back());
  }
  fs::remove_all(dir);
  const double encode = bench::Median(encodes), check = bench::Median(checks),
               added = bench::Median(sourceReads);
  std::printf("median: encode %.2f s, window's check %.3f s, a source header read %.3f s\n",
              encode, check, added);
  std::printf("a source header read over the encode: %.4f\n", added / encode);
  std::printf("ratio: %.4f\n", check / encode);
  return 0;
}
