// A tool that talks a lot, through automatic mode: a copy of vexlo beside a stand-in ffmpeg.bin
// (this program under that name) that writes FFmpeg's header lines and then 150 MB of progress
// lines ending in CR on standard error, as an encode does. Vexlo runs as a script runs it:
// `vexlo SOURCE,DESTINATION`, its standard output and its log copy on standard error to
// /dev/null. The same stand-in also writes into a plain pipe that is read and dropped. Each is
// timed with the flood and without it (start-up alone), in rounds; the last line, "ratio: X", is
// vexlo's wall-clock time beyond start-up over the pipe's (medians). The processor time of each
// (the program and what it reaped) is printed too: on a busy machine it varies less.
//
//   auto_flood            runs the benchmark (needs <build>/vexlo)
//   auto_flood BYTES      the same with another flood size
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/FileDescriptor.h"
#include "platform/Paths.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr long long kFloodBytes = 150'000'000;
constexpr int kRounds = 5;
constexpr const char* kFloodVariable = "VEXLO_BENCH_FLOOD_BYTES";

// The stand-in: FFmpeg's header on standard error, then progress lines ending in CR (about 100
// bytes each, the time growing up to the duration) until `bytes` are written, then an LF.
int EmitFlood(long long bytes) {
  std::string out =
      "Input #0, mov,mp4,m4a,3gp,3g2,mj2, from 'clip.mp4':\n"
      "  Duration: 01:00:00.00, start: 0.000000, bitrate: 2000 kb/s\n"
      "  Stream #0:0(und): Video: h264 (High), yuv420p, 1920x1080, 25 fps\n"
      "Output #0, h264, to 'out.h264':\n"
      "  Stream #0:0: Video: h264, yuv420p, 1920x1080, q=2-31, 25 fps\n"
      "Press [q] to stop, [?] for help\n";
  const long long lines = std::max(bytes / 100, 1LL);
  char line[160];
  long long written = 0;
  for (long long frame = 1; bytes > 0 && written < bytes; ++frame) {
    const long long ms = frame * 3'600'000 / lines;
    const int length = std::snprintf(
        line, sizeof line,
        "frame=%7lld fps=250 q=28.0 size=%9lldkB time=%02lld:%02lld:%02lld.%02lld "
        "bitrate=2048.5kbits/s speed=9.87x    \r",
        frame, frame * 10, ms / 3'600'000, ms / 60'000 % 60, ms / 1000 % 60, ms / 10 % 100);
    out.append(line, static_cast<std::size_t>(length));
    written += length;
    if (out.size() >= 64 * 1024) {
      if (vexlo::platform::WriteAll(2, out) != 0) return 1;
      out.clear();
    }
  }
  out += "\n";
  return vexlo::platform::WriteAll(2, out) == 0 ? 0 : 1;
}

// A run's wall-clock seconds, and the processor seconds of it and what it reaped.
struct Took {
  double wall = -1;
  double cpu = 0;
};

double ChildrenCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the program with the output to `output` (the child's standard output and error) and, when
// `drain` is set, reads and drops what comes through it; failed: a negative wall time.
Took TimedRun(const std::vector<std::string>& arguments, int output, int drain,
              const std::string& directory) {
  vexlo::platform::UniqueFd null(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  vexlo::platform::ChildProcess child;
  const double cpuBefore = ChildrenCpuSeconds();
  const auto start = Clock::now();
  const int failure = child.Spawn(arguments, null.get(), output, directory);
  if (drain >= 0) ::close(output);  // the child's copy is the only writer left
  if (failure != 0) return {};
  if (drain >= 0) {
    std::vector<char> block(64 * 1024);
    while (::read(drain, block.data(), block.size()) > 0) {
    }
  }
  const int status = child.Reap();
  const std::chrono::duration<double> wall = Clock::now() - start;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
  return {wall.count(), ChildrenCpuSeconds() - cpuBefore};
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Vexlo in automatic mode over a flood of `bytes`, all its output to /dev/null.
Took TimeVexlo(const fs::path& work, long long bytes) {
  ::setenv(kFloodVariable, std::to_string(bytes).c_str(), 1);
  vexlo::platform::UniqueFd null(::open("/dev/null", O_WRONLY | O_CLOEXEC));
  return TimedRun({(work / "vexlo").string(),
                   (work / "clip.mp4").string() + "," + (work / "out.h264").string()},
                  null.get(), -1, work.string());
}

// The stand-in writing a flood of `bytes` into a pipe that is read and dropped.
Took TimePipe(const fs::path& work, long long bytes) {
  ::setenv(kFloodVariable, std::to_string(bytes).c_str(), 1);
  vexlo::platform::Pipe pipe;
  if (vexlo::platform::MakePipe(pipe, vexlo::platform::PipeBlocking::kBothBlock) != 0) return {};
  return TimedRun({(work / "ffmpeg.bin").string()}, pipe.write.release(), pipe.read.get(),
                  work.string());
}

int RunBenchmark(long long floodBytes) {
  const fs::path buildDir = fs::path(vexlo::platform::ExecutableDirectory()).parent_path();
  std::string pattern = (fs::temp_directory_path() / "vexlo_auto_flood_XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr || !fs::exists(buildDir / "vexlo")) {
    std::fprintf(stderr, "needs %s and a temporary folder\n", (buildDir / "vexlo").c_str());
    return 1;
  }
  const fs::path work = pattern;
  fs::copy_file(buildDir / "vexlo", work / "vexlo");
  fs::copy_file(fs::read_symlink("/proc/self/exe"), work / "ffmpeg.bin");
  std::FILE* clip = std::fopen((work / "clip.mp4").c_str(), "wb");
  if (clip == nullptr) return 1;
  std::fputs("a source the stand-in never reads", clip);
  std::fclose(clip);
  // Vexlo keeps its settings in a folder of its own and needs no display.
  ::setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);

  // Wall-clock and processor seconds of each kind of run, over the rounds.
  std::vector<double> wall[4], cpu[4];
  const char* const kinds[4] = {"vexlo", "vexlo start-up", "pipe", "pipe start-up"};
  for (int round = 1; round <= kRounds; ++round) {
    const Took runs[4] = {TimeVexlo(work, floodBytes), TimeVexlo(work, 0),
                          TimePipe(work, floodBytes), TimePipe(work, 0)};
    std::printf("round %d:", round);
    for (int kind = 0; kind < 4; ++kind) {
      if (runs[kind].wall < 0) {
        std::fprintf(stderr, "\nround %d: the %s run failed\n", round, kinds[kind]);
        return 1;
      }
      wall[kind].push_back(runs[kind].wall);
      cpu[kind].push_back(runs[kind].cpu);
      std::printf(" %s %.3f s (cpu %.3f s)%s", kinds[kind], runs[kind].wall, runs[kind].cpu,
                  kind < 3 ? "," : "\n");
    }
  }
  const double vexlo = Median(wall[0]) - Median(wall[1]);
  const double pipe = Median(wall[2]) - Median(wall[3]);
  const double vexloCpu = Median(cpu[0]) - Median(cpu[1]);
  const double pipeCpu = Median(cpu[2]) - Median(cpu[3]);
  std::printf("flood: %lld bytes of progress lines ending in CR\n", floodBytes);
  std::printf("vexlo beyond start-up: %.3f s (%.1f MB/s), processor %.3f s\n", vexlo,
              floodBytes / 1e6 / vexlo, vexloCpu);
  std::printf("pipe beyond start-up:  %.3f s (%.1f MB/s), processor %.3f s\n", pipe,
              floodBytes / 1e6 / pipe, pipeCpu);
  std::printf("processor time ratio: %.2f\n", vexloCpu / pipeCpu);
  std::error_code ignored;
  fs::remove_all(work, ignored);
  std::printf("ratio: %.2f\n", vexlo / pipe);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (fs::path(argv[0]).filename() == "ffmpeg.bin") {
    const char* bytes = std::getenv(kFloodVariable);
    return EmitFlood(bytes != nullptr ? std::atoll(bytes) : 0);
  }
  return RunBenchmark(argc > 1 ? std::atoll(argv[1]) : kFloodBytes);
}
