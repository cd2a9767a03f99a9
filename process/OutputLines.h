#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

// The one reading of FFmpeg's output: its chunks cut into lines, the report lines, clock times,
// the source's duration and the time reached.
namespace vexlo::process {

/// A line that reaches this many characters ends there; the next byte starts a new line.
inline constexpr std::size_t kMaxOutputLineLength = 2000;
/// Lines of this many characters or fewer are not given to the caller.
inline constexpr std::size_t kShortestDroppedLine = 4;

/// True when none of the bytes is one the line splitter drops (10 or less, 128 or more).
inline bool AllKept(const char* data, std::size_t size) {
  bool dropped = false;  // no early exit: the loop is vectorised
  for (std::size_t i = 0; i < size; ++i) {
    dropped |= static_cast<unsigned char>(static_cast<unsigned char>(data[i]) - 11) > 116;
  }
  return !dropped;
}

/// Cuts one chunk of tool output into lines and calls `onLine(std::string_view)` for each, in
/// order. A CR ends a line and is dropped; bytes of value 10 or less (LF, TAB, the other control
/// bytes) and of 128 or more are dropped; the end of the chunk ends the last line. Nothing is
/// carried from one chunk to the next. The view is valid only during the call.
template <typename LineCallback>
void SplitChunkLines(const char* data, int length, LineCallback&& onLine) {
  if (data == nullptr || length <= 0) return;
  std::array<char, kMaxOutputLineLength> line;  // on the stack: no allocation per line
  std::size_t used = 0;
  const auto endLine = [&] {
    if (used > kShortestDroppedLine) onLine(std::string_view(line.data(), used));
    used = 0;
  };
  const char* const end = data + length;
  for (const char* run = data; run < end;) {
    // The bytes up to the next CR, or to the chunk's end.
    const auto* cr = static_cast<const char*>(std::memchr(run, '\r', end - run));
    const char* const runEnd = cr != nullptr ? cr : end;
    const auto size = static_cast<std::size_t>(runEnd - run);
    // Most lines have no byte to drop but a last LF: they are handed out from the chunk itself.
    const std::size_t kept = size - (size > 0 && runEnd[-1] == '\n' ? 1 : 0);
    if (kept <= kMaxOutputLineLength && AllKept(run, kept)) {
      if (kept > kShortestDroppedLine) onLine(std::string_view(run, kept));
    } else {
      for (const char* at = run; at < runEnd; ++at) {
        const auto byte = static_cast<unsigned char>(*at);
        if (byte > 10 && byte < 128) {
          line[used++] = static_cast<char>(byte);
          if (used == line.size()) endLine();
        }
      }
      endLine();
    }
    run = cr != nullptr ? cr + 1 : end;
  }
}

/// True when the line holds one of the tool's report markers: "Input #", "Output #", "frame=",
/// "Video:", "Audio:" or "Duration:".
bool IsReportLine(std::string_view line);

/// The one reader of a clock time, wherever the tools write one: "HH:MM:SS.cc" (blanks in front
/// skipped, an optional '-'; the digits after the point are a decimal fraction of a second, so
/// ".50" is 500 ms; hours have no upper limit). Nothing when the text does not start with such a
/// time ("N/A", a short or cut line).
std::optional<std::int64_t> ReadClockMilliseconds(std::string_view text);

/// The times one line of the tool's output gives: after "Duration:" the input's duration, after
/// "time=" how far the output got (both when both are there). A marker not followed by a
/// readable time gives 0; a line without the marker gives nothing.
struct OutputTimes {
  std::optional<std::int64_t> durationMs;
  std::optional<std::int64_t> timeMs;
};
OutputTimes ReadOutputTimes(std::string_view line);

/// The source's duration as the lines of one run give it, by one rule for every reader: the
/// first "Duration:" of the run is the source's. FFmpeg writes one for each input, in the order
/// of the inputs, and none for an output; the source an encode reads is its first -i, so a later
/// input's duration (a second source, or the output a measurement compares) is never taken for
/// it. A first "Duration:" without a readable time ("N/A") leaves the duration unknown (0).
/// Its load and store read as an atomic's do: the reader thread reads lines while the window's
/// thread may load the figure.
class SourceDuration {
 public:
  /// Reads one line of the run (the lines in order); true for the line that gives the source's.
  bool Read(std::string_view line);
  /// True once the run's first "Duration:" has been read.
  bool read() const { return read_.load(); }
  /// The source's duration in milliseconds; 0 while unknown.
  std::int64_t load() const { return ms_.load(); }
  /// A new run: `ms` until its first "Duration:" is read (0: unknown).
  void store(std::int64_t ms) {
    read_.store(false);
    ms_.store(ms);
  }
  SourceDuration& operator=(std::int64_t ms) {
    store(ms);
    return *this;
  }

 private:
  std::atomic<std::int64_t> ms_{0};
  std::atomic<bool> read_{false};
};

/// Calls `onLine(std::string_view)` for each line of a tool's whole report (a prober's fields,
/// a run's kept output), cut at CR and at LF; empty lines too.
template <typename OnLine>
void ForEachLine(std::string_view text, OnLine&& onLine) {
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = text.size();
    onLine(text.substr(at, end - at));
    at = end + 1;
  }
}

}  // namespace vexlo::process
