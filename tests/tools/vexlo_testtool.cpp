// vexlo_testtool: a small stand-in for the FFmpeg tools in the runner's tests. It writes the
// output patterns the runner and the job notifications must cope with, then sleeps and exits
// as asked. Every option is optional; the actions run in the order listed here, whatever the
// order on the command line.
//
//   --stderr              write everything to standard error instead of standard output
//   --print-pid           first line "pid=N" (N = this process's id), written at once
//   --echo-args           one line "argc=N", then one line "arg[I]=TEXT" per argument
//   --spawn-grandchild    fork a child that keeps the output open and sleeps, then exits
//   --grandchild-ms MS    how long that grandchild sleeps (default 3000)
//   --lines N             N lines of TEXT, each ending in LF
//   --text T              the text of those lines (default "line")
//   --interval-ms MS      pause between the lines of --lines and the pieces of --cr-pieces
//   --line-bytes N        one line of N bytes ('a'..'z' repeated), then LF
//   --cr-pieces N         N progress pieces that end in CR only ...
//   --piece-bytes B       ... each B bytes long, the CR included (default 100)
//   --no-newline N        N bytes ('0'..'9' repeated), no LF at all
//   --binary              the 256 byte values 0 to 255, once, in order
//   --flood N             a "Duration: 00:01:00.00, start: 0.000000, bitrate: 1 kb/s" line,
//                         then N ffmpeg-like progress lines ending in CR, as fast as possible
//   --flood-lf            end the flood's progress lines with LF instead of CR
//   --sleep-ms MS         sleep after the output (the output is written out before)
//   --exit CODE           exit status (default 0)
//   --abort               end by SIGABRT instead of exiting
#include <signal.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

struct Options {
  int fd = STDOUT_FILENO;
  bool printPid = false;
  bool echoArgs = false;
  bool spawnGrandchild = false;
  long grandchildMs = 3000;
  long lines = 0;
  std::string text = "line";
  long intervalMs = 0;
  long lineBytes = -1;
  long crPieces = 0;
  long pieceBytes = 100;
  long noNewline = 0;
  bool binary = false;
  long flood = 0;
  bool floodLf = false;
  long sleepMs = 0;
  long exitCode = 0;
  bool abort = false;
};

// Output, buffered so that floods go out in large writes.
class Output {
 public:
  explicit Output(int fd) : fd_(fd) {}
  void add(std::string_view bytes) {
    buffer_.append(bytes);
    if (buffer_.size() >= 64 * 1024) flush();
  }
  void flush() {
    std::size_t done = 0;
    while (done < buffer_.size()) {
      const ssize_t wrote = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
      if (wrote < 0 && errno == EINTR) continue;
      if (wrote <= 0) std::_Exit(120);  // the reader has gone
      done += static_cast<std::size_t>(wrote);
    }
    buffer_.clear();
  }

 private:
  int fd_;
  std::string buffer_;
};

void SleepMs(long ms) {
  if (ms <= 0) return;
  timespec wait{ms / 1000, (ms % 1000) * 1000000L};
  while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

long Number(const char* text) {
  return std::strtol(text, nullptr, 10);
}

struct FlagOption {
  std::string_view name;
  bool Options::*field;
};
struct NumberOption {
  std::string_view name;
  long Options::*field;
};

constexpr FlagOption kFlags[] = {
    {"--print-pid", &Options::printPid},
    {"--echo-args", &Options::echoArgs},
    {"--spawn-grandchild", &Options::spawnGrandchild},
    {"--binary", &Options::binary},
    {"--flood-lf", &Options::floodLf},
    {"--abort", &Options::abort},
};
constexpr NumberOption kNumbers[] = {
    {"--grandchild-ms", &Options::grandchildMs}, {"--lines", &Options::lines},
    {"--interval-ms", &Options::intervalMs},     {"--line-bytes", &Options::lineBytes},
    {"--cr-pieces", &Options::crPieces},         {"--piece-bytes", &Options::pieceBytes},
    {"--no-newline", &Options::noNewline},       {"--flood", &Options::flood},
    {"--sleep-ms", &Options::sleepMs},           {"--exit", &Options::exitCode},
};

// Options with a value take the next argument; unknown arguments are ignored.
Options Parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string_view name = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : "0";
    if (name == "--stderr") o.fd = STDERR_FILENO;
    if (name == "--text") {
      o.text = value;
      ++i;
    }
    for (const FlagOption& flag : kFlags) {
      if (name == flag.name) o.*flag.field = true;
    }
    for (const NumberOption& number : kNumbers) {
      if (name == number.name) {
        o.*number.field = Number(value);
        ++i;
      }
    }
  }
  return o;
}

std::string Repeated(long count, char first, int period) {
  std::string bytes;
  for (long i = 0; i < count; ++i) bytes.push_back(static_cast<char>(first + i % period));
  return bytes;
}

void SpawnGrandchild(long ms) {
  const pid_t pid = ::fork();
  if (pid != 0) return;
  SleepMs(ms);  // holds the inherited output open meanwhile
  std::_Exit(0);
}

void WriteFlood(Output& out, const Options& o) {
  out.add("Duration: 00:01:00.00, start: 0.000000, bitrate: 1 kb/s\n");
  const char* end = o.floodLf ? "\n" : "\r";
  char line[160];
  for (long frame = 1; frame <= o.flood; ++frame) {
    std::snprintf(line, sizeof line,
                  "frame=%5ld fps= 25 q=28.0 size=  1024kB time=00:00:04.92 bitrate= "
                  "123.4kbits/s speed=1.0x%s",
                  frame, end);
    out.add(line);
  }
}

void WriteLinesAndPieces(Output& out, const Options& o) {
  for (long i = 0; i < o.lines; ++i) {
    out.add(o.text + "\n");
    if (o.intervalMs > 0) {
      out.flush();
      SleepMs(o.intervalMs);
    }
  }
  if (o.lineBytes >= 0) out.add(Repeated(o.lineBytes, 'a', 26) + "\n");
  for (long i = 0; i < o.crPieces; ++i) {
    out.add(Repeated(o.pieceBytes - 1, 'p', 10) + "\r");
    if (o.intervalMs > 0) {
      out.flush();
      SleepMs(o.intervalMs);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = Parse(argc, argv);
  Output out(o.fd);
  if (o.printPid) {
    out.add("pid=" + std::to_string(::getpid()) + "\n");
    out.flush();
  }
  if (o.echoArgs) {
    out.add("argc=" + std::to_string(argc) + "\n");
    for (int i = 0; i < argc; ++i) out.add("arg[" + std::to_string(i) + "]=" + argv[i] + "\n");
  }
  if (o.spawnGrandchild) {
    out.flush();
    SpawnGrandchild(o.grandchildMs);
  }
  WriteLinesAndPieces(out, o);
  if (o.noNewline > 0) out.add(Repeated(o.noNewline, '0', 10));
  if (o.binary) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    out.add(all);
  }
  if (o.flood > 0) WriteFlood(out, o);
  out.flush();
  SleepMs(o.sleepMs);
  if (o.abort) ::kill(::getpid(), SIGABRT);
  return static_cast<int>(o.exitCode);
}
