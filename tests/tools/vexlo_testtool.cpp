// vexlo_testtool: a stand-in for the FFmpeg tools in the runner's tests. Its options (each
// optional) act in this order, whatever their order on the command line:
//   --stderr              write to standard error instead of standard output
//   --print-pid           first line "pid=N", written at once
//   --cat FILE            the bytes of FILE, as they are (a tool's report)
//   --spawn-grandchild    fork a child that keeps the output open and sleeps --grandchild-ms MS
//   --lines N             N lines of --text T (default "line"), each ending in LF (CR LF with
//                         --crlf)
//   --interval-ms MS      pause between those lines and between the pieces of --cr-pieces
//   --line-bytes N        one line of N bytes ('a'..'z' repeated), then LF
//   --cr-pieces N         N progress pieces of --piece-bytes B (default 100, CR included; with
//                         --bare no CR, B - 1 bytes)
//   --no-newline N        N bytes ('0'..'9' repeated), no LF at all
//   --binary              the 256 byte values 0 to 255, once, in order
//   --flood N             a "Duration: 00:01:00.00" line, then N ffmpeg-like progress lines
//                         ending in CR (LF with --flood-lf), as fast as possible
//   --sleep-ms MS         sleep after the output;  --exit CODE  exit status;  --abort  SIGABRT
//   --mark FILE           create FILE once the first output has been written
// The environment variable VEXLO_TESTTOOL_EXIT gives the exit status when --exit is not given
// (a failing tool for a program that builds the tool's command line itself).
// The same source builds the Windows stand-in: the grandchild is a second copy of the tool that
// only sleeps, started with the output inherited.
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif
#include <signal.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>

namespace {

int fd = 1;
std::string buffer, mark;

// Writes what is buffered; floods go out in large writes.
void Flush() {
  for (std::size_t done = 0; done < buffer.size();) {
    const ssize_t wrote = ::write(fd, buffer.data() + done, buffer.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) std::_Exit(120);  // the reader has gone
    done += static_cast<std::size_t>(wrote);
  }
  if (!buffer.empty() && !mark.empty()) {
    if (std::FILE* file = std::fopen(mark.c_str(), "w")) std::fclose(file);
    mark.clear();
  }
  buffer.clear();
}

void Add(const std::string& bytes) {
  buffer += bytes;
  if (buffer.size() >= 64 * 1024) Flush();
}

void SleepMs(long ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A process that holds the output open for `ms` and writes nothing; true in that process.
bool SpawnGrandchild(const char* self, long ms) {
#ifdef _WIN32
  const std::string wait = std::to_string(ms);
  ::_spawnl(_P_NOWAIT, self, self, "--sleep-ms", wait.c_str(), nullptr);
  return false;
#else
  (void)self;
  if (::fork() != 0) return false;
  SleepMs(ms);
  return true;
#endif
}

std::string Repeated(long count, char first, int period) {
  std::string bytes;
  for (long i = 0; i < count; ++i) bytes.push_back(static_cast<char>(first + i % period));
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, long> o = {
      {"--grandchild-ms", 3000}, {"--line-bytes", -1}, {"--piece-bytes", 100}};
  if (const char* status = std::getenv("VEXLO_TESTTOOL_EXIT")) o["--exit"] = std::atol(status);
  std::string text = "line", cat;
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    const bool valued = i + 1 < argc && (std::isdigit(static_cast<unsigned char>(argv[i + 1][0])) ||
                                         name == "--text" || name == "--mark" ||
                                         name == "--cat");
    if (name == "--text" && valued) text = argv[i + 1];
    if (name == "--cat" && valued) cat = argv[i + 1];
    if (name == "--mark" && valued) mark = argv[i + 1];
    o[name] = valued ? std::strtol(argv[i + 1], nullptr, 10) : 1;
    i += valued ? 1 : 0;
  }
#ifdef _WIN32
  ::_setmode(1, _O_BINARY);  // the bytes as they are: no CR before each LF
  ::_setmode(2, _O_BINARY);
#endif
  if (o["--stderr"]) fd = 2;
  if (o["--print-pid"]) Add("pid=" + std::to_string(::getpid()) + "\n"), Flush();
  if (std::FILE* file = cat.empty() ? nullptr : std::fopen(cat.c_str(), "rb")) {
    for (int byte; (byte = std::fgetc(file)) != EOF;) buffer.push_back(static_cast<char>(byte));
    std::fclose(file);
  }
  if (o["--spawn-grandchild"] && (Flush(), SpawnGrandchild(argv[0], o["--grandchild-ms"]))) {
    std::_Exit(0);  // it held the inherited output open meanwhile
  }
  for (long i = 0; i < o["--lines"]; ++i) {
    Add(text + (o["--crlf"] ? "\r\n" : "\n"));
    if (o["--interval-ms"] > 0) Flush(), SleepMs(o["--interval-ms"]);
  }
  if (o["--line-bytes"] >= 0) Add(Repeated(o["--line-bytes"], 'a', 26) + "\n");
  for (long i = 0; i < o["--cr-pieces"]; ++i) {
    Add(Repeated(o["--piece-bytes"] - 1, 'p', 10) + (o["--bare"] ? "" : "\r"));
    if (o["--interval-ms"] > 0) Flush(), SleepMs(o["--interval-ms"]);
  }
  Add(Repeated(o["--no-newline"], '0', 10));
  if (o["--binary"]) Add(Repeated(256, 0, 256));
  if (o["--flood"] > 0) Add("Duration: 00:01:00.00, start: 0.000000, bitrate: 1 kb/s\n");
  char line[160];
  for (long frame = 1; frame <= o["--flood"]; ++frame) {
    std::snprintf(line, sizeof line,
                  "frame=%5ld fps= 25 q=28.0 size=  1024kB time=00:00:04.92 bitrate= 123.4kbits/s "
                  "speed=1.0x%s",
                  frame, o["--flood-lf"] ? "\n" : "\r");
    Add(line);
  }
  Flush();
  SleepMs(o["--sleep-ms"]);
  if (o["--abort"]) std::raise(SIGABRT);
  return static_cast<int>(o["--exit"]);
}
