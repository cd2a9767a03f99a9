#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "process/JobWindow.h"

namespace vexlo::process {

/// A line that reaches this many characters ends there; the next byte starts a new line.
inline constexpr std::size_t kMaxOutputLineLength = 2000;
/// Lines of this many characters or fewer are not given to the caller.
inline constexpr std::size_t kShortestDroppedLine = 4;

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
  for (int i = 0; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(data[i]);
    if (byte == '\r') {
      endLine();
    } else if (byte > 10 && byte < 128) {
      line[used++] = static_cast<char>(byte);
      if (used == line.size()) endLine();
    }
  }
  endLine();
}

/// True when the line holds one of the tool's report markers: "Input #", "Output #", "frame=",
/// "Video:", "Audio:" or "Duration:".
bool IsReportLine(std::string_view line);

/// Reads a clock time "HH:MM:SS.cc" (blanks in front skipped, an optional '-'; the digits after
/// the point are a decimal fraction of a second, so ".50" is 500 ms; hours have no upper limit).
/// Nothing when the text does not start with such a time ("N/A", a short or cut line).
std::optional<std::int64_t> ReadClockMilliseconds(std::string_view text);

/// Sets durationMs from a "Duration:" and timeMs from a "time=" in the line (both when both are
/// there). A marker not followed by a readable time sets its figure to 0.
void ParseOutputLine(JobFigures& figures, std::string_view line);

}  // namespace vexlo::process
