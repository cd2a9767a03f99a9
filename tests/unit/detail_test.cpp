// The progress detail below the bar, from scripted tool lines at scripted wall-clock times.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "process/ProgressDetail.h"

namespace vexlo::process {
namespace {

TEST(ProgressDetail, FiguresFromScriptedProgressLines) {
  const std::string d100 = "  Duration: 00:01:40.00, start: 0.000000, bitrate: N/A";
  const auto at = [](int seconds, const std::string& time, const std::string& tail) {
    return std::pair<std::int64_t, std::string>(
        seconds * 1000LL, "frame=  50 fps= 50 q=28.0 size=    " + tail.substr(0, tail.find(' ')) +
                              " time=" + time +
                              " bitrate=1048.6kbits/s speed=" + tail.substr(tail.find(' ') + 1));
  };
  struct Row {
    const char* what;
    ProgressDetail::Kind kind;
    std::vector<std::pair<std::int64_t, std::string>> steps;  // wall-clock ms, tool line
    std::int64_t textAt;
    std::string expected;
    std::int64_t finishAt = -1;
  };
  using K = ProgressDetail::Kind;
  // clang-format off
  const Row rows[] = {
      {"too early for time left", K::kConversion,
       {{0, d100}, at(1, "00:00:02.00", "256kB 2.0x"), at(2, "00:00:04.00", "512kB 2x")},
       2000, "Elapsed 0:02, 2.0x, 50 fps, 512 KiB"},
      // The rate falls to 1x for one second: the smoothed rate (1.88x) gives 0:49, not 1:33.
      {"smoothed", K::kConversion,
       {{0, d100}, at(1, "00:00:02.00", "1kB 2x"), at(2, "00:00:04.00", "1kB 2x"),
        at(3, "00:00:06.00", "1kB 2x"), at(4, "00:00:07.00", "2048kB 1.75x")},
       4000, "Elapsed 0:04, left 0:49, 1.8x, 50 fps, 2.0 MiB"},
      // Lines cut short by the runner's chunk limit: a time without its decimals is no time, and
      // a line cut before its speed keeps the speed seen before.
      {"cut lines", K::kConversion,
       {{0, d100}, at(1, "00:00:02.00", "256kB 2x"),
        {1500, "frame=  75 fps= 50 q=28.0 size=     384kB time=00:00:03.00 bitrate=1048.6kbits/s spe"},
        {1600, "frame=  80 fps= 40 q=28.0 size=     400kB time=00:00:0"}},
       2000, "Elapsed 0:02, 2.0x, 50 fps, 384 KiB"},
      // Hours beyond 24 in the duration, the time and the clock.
      {"over a day", K::kConversion,
       {{0, "  Duration: 30:00:00.00, start: 0.0"}, at(90000, "25:00:00.00", "3GiB 1.0x"),
        at(90001, "25:00:01.00", "3.5GiB 1.0x")},
       90001000, "Elapsed 25:00:01, left 4:59:59, 1.0x, 50 fps, 3.50 GiB"},
      {"speed 0", K::kConversion,
       {{0, d100}, {1000, "frame=    0 fps=0.0 q=0.0 size=N/A time=00:00:00.00 speed=   0x"},
        {5000, "frame=    0 fps=0.0 q=0.0 size=N/A time=00:00:00.00 speed=   0x"}},
       5000, "Elapsed 0:05, 0.0x, 0 fps"},
      {"no duration", K::kConversion,
       {{0, "  Duration: N/A, start: 0.0"}, at(4, "00:00:04.00", "1kB 1x")}, 9000, ""},
      {"finished", K::kConversion,
       {{0, d100}, at(2, "00:00:04.00", "1kB 2x"), at(4, "00:00:08.00", "64kB 2x")},
       99000, "Elapsed 0:05, 2.0x, 50 fps, 64 KiB", 5000},
      {"frames", K::kFrames, {{0, "120"}}, 65000, "Elapsed 1:05, 120 frames done"},
  };
  // clang-format on
  for (const Row& row : rows) {
    ProgressDetail detail;
    detail.Start(row.kind, 0);
    for (const auto& [when, line] : row.steps) {
      if (row.kind == K::kFrames) detail.SetFrames(std::stoll(line));
      detail.Feed(line, when);
    }
    if (row.finishAt >= 0) detail.Finish(row.finishAt);
    EXPECT_EQ(detail.Text(row.textAt), row.expected) << row.what;
  }
}

}  // namespace
}  // namespace vexlo::process
