// How fast the runner hands a tool's output to its notifications, next to how fast `cat` moves
// the same text to /dev/null and how fast `ffprobe -show_frames` writes its frame report. The
// last line, "ratio: X", is the runner's throughput over ffprobe's output rate: how much
// faster the runner drains a pipe than the fastest-talking tool job fills it.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/FileDescriptor.h"
#include "process/ToolRun.h"

namespace {

using Clock = std::chrono::steady_clock;
using vexlo::platform::ChildProcess;
using vexlo::platform::UniqueFd;

constexpr std::size_t kTextBytes = 512u << 20;  // about a second of work for the runner

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

double MegabytesPerSecond(std::size_t bytes, double seconds) {
  return bytes / 1e6 / seconds;
}

// One frame of an ffprobe -show_frames report, as the frame index job reads it.
std::string FrameBlock(long frame) {
  const std::string n = std::to_string(frame);
  return "[FRAME]\nmedia_type=video\nstream_index=0\nkey_frame=" +
         std::string(frame % 12 ? "0" : "1") + "\npts=" + n + "\npts_time=" + n +
         ".000000\npkt_dts=" + n + "\npkt_dts_time=" + n + ".000000\nbest_effort_timestamp=" + n +
         "\npkt_duration=1\npkt_duration_time=0.040000\n"
         "pkt_pos=" +
         std::to_string(frame * 1187) +
         "\npkt_size=1187\nwidth=64\nheight=48\n"
         "pix_fmt=yuv420p\nsample_aspect_ratio=1:1\npict_type=" +
         (frame % 12 ? "P" : "I") + "\ncoded_picture_number=" + n +
         "\ndisplay_picture_number=0\ninterlaced_frame=0\n"
         "top_field_first=0\nrepeat_pict=0\ncolor_range=tv\ncolor_space=unknown\n[/FRAME]\n";
}

std::string WriteFrameText(const std::string& folder) {
  const std::string path = folder + "/frames.txt";
  std::ofstream out(path, std::ios::binary);
  std::string block;
  std::size_t written = 0;
  for (long frame = 0; written < kTextBytes; ++frame) {
    block = FrameBlock(frame);
    out << block;
    written += block.size();
  }
  return path;
}

struct Counter {
  std::size_t bytes = 0;
  std::size_t chunks = 0;
};

// Seconds for the runner to deliver the file through `cat`; the counter gets its bytes.
double TimeRunner(const std::string& file, Counter& counter) {
  const std::string commandLine = "\"/bin/cat\" \"" + file + "\"";
  vexlo::process::ToolWatch watch;
  watch.output = [&counter](std::string_view chunk, vexlo::process::KeptOutLines&) {
    counter.bytes += chunk.size();
    ++counter.chunks;
  };
  const auto start = Clock::now();
  vexlo::process::RunWatched(commandLine, {}, std::move(watch));
  return Seconds(start);
}

// Runs a program with its output going to `output`; the wait status.
int RunTo(const std::vector<std::string>& arguments, int output) {
  UniqueFd input(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  ChildProcess child;
  if (child.Spawn(arguments, input.get(), output) != 0) return -1;
  return child.Reap();
}

double TimeCatToNull(const std::string& file) {
  UniqueFd null(::open("/dev/null", O_WRONLY | O_CLOEXEC));
  const auto start = Clock::now();
  RunTo({"/bin/cat", file}, null.get());
  return Seconds(start);
}

// Bytes per second that ffprobe -show_frames writes into a pipe drained as fast as possible.
double FfprobeOutputRate(const std::string& clip, std::size_t& bytes) {
  vexlo::platform::Pipe pipe;
  UniqueFd input(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  if (vexlo::platform::MakePipe(pipe, vexlo::platform::PipeBlocking::kBothBlock) != 0) return 0;
  ChildProcess child;
  const auto start = Clock::now();
  if (child.Spawn({VEXLO_FFPROBE_PATH, "-hide_banner", "-show_frames", clip}, input.get(),
                  pipe.write.get()) != 0) {
    return 0;
  }
  pipe.write.reset();
  std::vector<char> block(64 * 1024);
  bytes = 0;
  for (ssize_t got; (got = ::read(pipe.read.get(), block.data(), block.size())) > 0;) bytes += got;
  child.Reap();
  return bytes / Seconds(start);
}

}  // namespace

int main() {
  char folderTemplate[] = "/tmp/vexlo-bench-XXXXXX";
  const char* folderName = ::mkdtemp(folderTemplate);
  if (folderName == nullptr) return 1;
  const std::string folder = folderName;
  const std::string text = WriteFrameText(folder);
  const std::string clip = folder + "/clip.mp4";
  UniqueFd null(::open("/dev/null", O_WRONLY | O_CLOEXEC));
  RunTo({VEXLO_FFMPEG_PATH, "-v", "error", "-f", "lavfi", "-i", "testsrc=size=64x48:rate=25", "-t",
         "60", "-y", clip},
        null.get());

  Counter counter;
  const double runnerSeconds = TimeRunner(text, counter);
  const double catSeconds = TimeCatToNull(text);
  std::size_t probeBytes = 0;
  const double probeRate = FfprobeOutputRate(clip, probeBytes) / 1e6;
  const double runnerRate = MegabytesPerSecond(counter.bytes, runnerSeconds);

  std::printf("text: %zu bytes in %zu chunks\n", counter.bytes, counter.chunks);
  std::printf("runner (cat -> pipe -> chunks): %.1f MB/s (%.3f s)\n", runnerRate, runnerSeconds);
  std::printf("cat -> /dev/null: %.1f MB/s (%.3f s)\n",
              MegabytesPerSecond(counter.bytes, catSeconds), catSeconds);
  std::printf("ffprobe -show_frames, 64x48, 60 s: %zu bytes at %.2f MB/s\n", probeBytes, probeRate);
  std::remove(text.c_str());
  std::remove(clip.c_str());
  ::rmdir(folder.c_str());
  std::printf("ratio: %.1f\n", probeRate > 0 ? runnerRate / probeRate : 0.0);
  return 0;
}
