#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "process/OutputLines.h"
#include "process/TimeCode.h"

namespace vexlo::process {
namespace {

std::vector<std::string> Split(std::string_view chunk) {
  std::vector<std::string> lines;
  SplitChunkLines(chunk.data(), static_cast<int>(chunk.size()),
                  [&](std::string_view line) { lines.emplace_back(line); });
  return lines;
}

struct SplitCase {
  const char* name;
  std::string chunk;
  std::vector<std::string> lines;
};

TEST(SplitChunkLinesTest, CutsDropsAndKeepsBytesAsWritten) {
  const std::string progress = "frame=  10 time=00:00:01.";  // 25 characters
  ASSERT_EQ(progress.size(), 25u);
  const std::vector<SplitCase> cases = {
      {"cr ends a line", "first line\rsecond line\r", {"first line", "second line"}},
      {"lf is dropped, not an end", "one line\nstill it\r", {"one linestill it"}},
      {"crlf", "Duration: x\r\n", {"Duration: x"}},
      {"chunk end ends the last line", "no carriage return", {"no carriage return"}},
      {"control bytes dropped", std::string("ta\tb\001\ncdef", 10), {"tabcdef"}},
      {"nul dropped", std::string("ab\0cdef", 7), {"abcdef"}},
      {"bytes 11 and 127 kept", "ab\013cd\177", {"ab\013cd\177"}},
      {"high bytes dropped", "caf\303\251s and \200\377more", {"cafs and more"}},
      {"four characters or fewer are not given", "abcd\rabcde\r\r\r", {"abcde"}},
      {"short after dropping", "ab\t\tcd\r", {}},
      {"letters then progress piece", "abc\r" + progress + "\r", {progress}},
      {"nothing after the last cr", "some text\r", {"some text"}},
      {"empty chunk", "", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(Split(c.chunk), c.lines) << c.name;
}

TEST(SplitChunkLinesTest, LineReaching2000CharactersEndsThere) {
  const std::string chunk =
      std::string(2000, 'a') + std::string(7, 'b') + "\r" + std::string(4003, 'c');
  const auto lines = Split(chunk);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], std::string(2000, 'a'));
  EXPECT_EQ(lines[1], std::string(7, 'b'));
  EXPECT_EQ(lines[2], std::string(2000, 'c'));
  EXPECT_EQ(lines[3], std::string(2000, 'c'));  // the last 3 'c' are too short to be given
}

TEST(SplitChunkLinesTest, NullOrNegativeGivesNothing) {
  int calls = 0;
  SplitChunkLines(nullptr, 10, [&](std::string_view) { ++calls; });
  SplitChunkLines("abcdefgh", -1, [&](std::string_view) { ++calls; });
  EXPECT_EQ(calls, 0);
}

TEST(IsReportLineTest, KnowsTheSixMarkers) {
  const std::vector<std::pair<std::string_view, bool>> cases = {
      {"Input #0, lavfi, from 'testsrc':", true},
      {"Output #0, h264, to 'out.264':", true},
      {"frame=   25 fps=0.0 q=-1.0 size=       1kB time=00:00:01.00", true},
      {"  Stream #0:0: Video: h264, yuv420p", true},
      {"  Stream #0:1: Audio: pcm_s16le, 48000 Hz", true},
      {"  Duration: 00:00:02.00, start: 0.000000", true},
      {"Press [q] to stop, [?] for help", false},
      {"input #0 (lower case)", false},
      {"Frame= 10", false},
  };
  for (const auto& [line, report] : cases) EXPECT_EQ(IsReportLine(line), report) << line;
}

struct ParseCase {
  const char* line;
  std::int64_t durationMs;
  std::int64_t timeMs;
};

TEST(ParseOutputLineTest, ReadsDurationAndTimeAsClockTimes) {
  const std::vector<ParseCase> cases = {
      {"  Duration: 00:01:40.00, start: 0.000000, bitrate: 5 kb/s", 100000, -1},
      {"frame=  12 fps=0.0 q=-1.0 size=0kB time=00:00:50.00 bitrate=N/A", -1, 50000},
      {"time=00:00:04.50", -1, 4500},
      {"time=00:00:04.99", -1, 4990},
      {"time=00:00:04.5", -1, 4500},
      {"time=00:00:04", -1, 4000},
      {"  Duration: 25:00:00.00, start", 90000000, -1},
      {"  Duration: 123:04:05.06", 443045060, -1},
      {"  Duration: N/A, start: 0.000000", 0, -1},
      {"  Duration: xx:yy:zz.ww", 0, -1},
      {"Duration:", 0, -1},
      {"Duration: 00:0", 0, -1},
      {"time=00:00:0", -1, 0},
      {"time=N/A", -1, 0},
      {"time=-00:00:00.04", -1, -40},
      {"Duration: 00:00:10.00 time=00:00:02.00", 10000, 2000},
      {"no markers here", -1, -1},
  };
  for (const auto& c : cases) {
    JobFigures figures;
    figures.durationMs = -1;
    figures.timeMs = -1;
    ParseOutputLine(figures, c.line);
    EXPECT_EQ(figures.durationMs.load(), c.durationMs) << c.line;
    EXPECT_EQ(figures.timeMs.load(), c.timeMs) << c.line;
  }
}

TEST(ParseOutputLineTest, ShortLineIsReadOnlyAsFarAsItGoes) {
  // A line cut just after the marker, in a buffer with a time code beyond its end.
  const std::string buffer = "time=00:00:07.00";
  JobFigures figures;
  figures.timeMs = 123;
  ParseOutputLine(figures, std::string_view(buffer).substr(0, 8));
  EXPECT_EQ(figures.timeMs.load(), 0);
}

struct TimeCodeCase {
  const char* text;
  double milliseconds;
  int result;
};

TEST(TimeCodeTest, DigitsAfterThePointAreFramesAt25PerSecond) {
  const std::vector<TimeCodeCase> cases = {
      {"00:00:04.50", 6000, -1},  // 50 frames: more than the frame rate, kept
      {"00:00:04.99", 7960, -1},
      {"00:00:04.20", 4800, 0},
      {"01:23:45.10", 5025400, 0},
      {"  00:01:40.00  ", 100000, 0},
      {"25:00:00.00", 0, -1},  // hours out of range count as 0
      {"00:61:00.00", 0, -1},
      {"00:00:75.00", 0, -1},
      {"N/A", 0, 0},
      {"", 0, 0},
  };
  for (const auto& c : cases) {
    TimeCode code;
    EXPECT_EQ(code.Parse(c.text), c.result) << c.text;
    EXPECT_EQ(code.Milliseconds(), c.milliseconds) << c.text;
  }
}

TEST(TimeCodeTest, SetRangesAndRounding) {
  TimeCode code;
  EXPECT_EQ(code.Set(0, 0, 0, -3.0f), -1);
  EXPECT_EQ(code.Milliseconds(), 0);
  EXPECT_EQ(code.Set(23, 59, 59, 25.0f), 0);
  EXPECT_EQ(code.Milliseconds(), 86400000);
  EXPECT_EQ(code.Set(0, 0, 0, 25.2f), -1);
  EXPECT_EQ(code.Milliseconds(), 1008);
  EXPECT_EQ(code.Set(-1, 0, 1, 0.0f), -1);
  EXPECT_EQ(code.Milliseconds(), 1000);
}

}  // namespace
}  // namespace vexlo::process
