// How soon Vexlo starts its tool: a stand-in ffmpeg.bin writes the monotonic clock when it starts,
// and the time from the fork of vexlo to that stamp is measured for the comma form and the option
// form, next to a bare fork and exec of the same stand-in (rounds alternate their order). Prints
// the medians and each form's ratio to the bare start; the last line, "ratio: X", is the larger.
// With --display the caller's display is kept (the comma form then shows its window); without it
// vexlo runs as on a headless machine.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Paths.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRounds = 11;

long long Now() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// Forks and executes the arguments, waits for the end; the milliseconds from the fork to the
// stand-in's stamp, or a negative value when the program failed or the stand-in never started.
double StartDelay(const std::vector<std::string>& arguments, const fs::path& stamp) {
  fs::remove(stamp);
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const long long start = Now();
  const pid_t child = ::fork();
  if (child == 0) {
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    return -1;
  }
  long long started = 0;
  if (!(std::ifstream(stamp) >> started)) return -1;
  return (started - start) / 1e6;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const bool display = argc > 1 && std::string_view(argv[1]) == "--display";
  // The bench lives in <build>/bench with the stand-in, vexlo in <build>.
  const fs::path benchDir = vexlo::platform::ExecutableDirectory();
  const fs::path vexlo = benchDir.parent_path() / "vexlo";
  std::string pattern = (fs::temp_directory_path() / "vexlo_start_latency_XXXXXX").string();
  if (!fs::exists(vexlo) || !::mkdtemp(pattern.data())) {
    std::fprintf(stderr, "needs %s and a temporary folder\n", vexlo.c_str());
    return 1;
  }
  // A copy of vexlo with the stand-in as its ffmpeg.bin, a settings folder of its own.
  const fs::path work = pattern;
  fs::copy_file(vexlo, work / "vexlo");
  fs::copy_file(benchDir / "start_stamp", work / "ffmpeg.bin");
  std::ofstream(work / "in.mp4") << "the stand-in never reads it";
  ::setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);
  if (!display) {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) ::unsetenv(name);
  }
  const std::string program = (work / "vexlo").string(), in = (work / "in.mp4").string(),
                    out = (work / "out.H264").string();
  const struct {
    const char* name;
    std::vector<std::string> arguments;
  } forms[] = {
      {"bare fork+exec", {(work / "ffmpeg.bin").string()}},
      {"comma form", {program, in + "," + out}},
      {"option form", {program, "--source", in, "--destination", out}},
  };
  std::vector<double> delays[3];
  for (int round = 0; round <= kRounds; ++round) {  // round 0 warms the caches and is not counted
    for (int i = 0; i < 3; ++i) {
      const int form = (i + round) % 3;
      const double delay = StartDelay(forms[form].arguments, work / "started");
      if (delay < 0) {
        std::fprintf(stderr, "%s failed or never started the stand-in\n", forms[form].name);
        return 1;
      }
      if (round > 0) delays[form].push_back(delay);
    }
  }
  fs::remove_all(work);
  const double bare = Median(delays[0]);
  std::printf("%-15s %7.2f ms (median of %d)\n", forms[0].name, bare, kRounds);
  double worst = 0;
  for (int form = 1; form < 3; ++form) {
    const double median = Median(delays[form]);
    worst = std::max(worst, median / bare);
    std::printf("%-15s %7.2f ms (median of %d; %.1f times the bare start)\n", forms[form].name,
                median, kRounds, median / bare);
  }
  std::printf("ratio: %.1f\n", worst);
  return 0;
}
