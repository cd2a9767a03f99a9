#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "jobs/ConversionJob.h"
#include "platform/Paths.h"
#include "process/OutputLines.h"
#include "process/ProcessRunner.h"
#include "process/ProgressDetail.h"
#include "hosts/TraceControl.h"
#include "hosts/TraceFormat.h"
#include "res/ControlIds.h"
#include "tests/support/Support.h"
#include "tests/support/TestJobWindow.h"

namespace vexlo::process {
namespace {

using namespace vexlo::jobs;  // the conversion job's progress
using namespace vexlo::hosts;  // the log pane
using testing::TestJobWindow;
constexpr auto kQuietTick = std::chrono::hours(1);  // the writer never flushes by itself

std::vector<std::string> Split(std::string_view chunk) {
  std::vector<std::string> lines;
  SplitChunkLines(chunk.data(), static_cast<int>(chunk.size()),
                  [&](std::string_view line) { lines.emplace_back(line); });
  return lines;
}

TEST(OutputLines, SplitReportAndParse) {
  const std::string progress = "frame=  10 time=00:00:01.";  // 25 characters
  const std::pair<std::string, std::vector<std::string>> splits[] = {
      {"first line\rsecond line\r", {"first line", "second line"}},
      {"one line\nstill it\r", {"one linestill it"}},  // LF is dropped, not an end
      {"Duration: x\r\n", {"Duration: x"}},
      {"no carriage return", {"no carriage return"}},
      {std::string("ta\tb\001\ncdef", 10), {"tabcdef"}},
      {std::string("ab\0cdef", 7), {"abcdef"}},
      {"ab\013cd\177", {"ab\013cd\177"}},
      {"caf\303\251s and \200\377more", {"cafs and more"}},
      {"abcd\rabcde\r\r\r", {"abcde"}},  // four characters or fewer are not given
      {"ab\t\tcd\r", {}},
      {"abc\r" + progress + "\r", {progress}},
      {"", {}},
      {std::string(2000, 'a') + "bbbbbbb\r" + std::string(4003, 'c'),
       {std::string(2000, 'a'), "bbbbbbb", std::string(2000, 'c'), std::string(2000, 'c')}},
  };
  for (const auto& [chunk, lines] : splits) EXPECT_EQ(Split(chunk), lines) << chunk.substr(0, 40);
  int calls = 0;
  SplitChunkLines(nullptr, 10, [&](std::string_view) { ++calls; });
  SplitChunkLines("abcdefgh", -1, [&](std::string_view) { ++calls; });
  EXPECT_EQ(calls, 0);

  for (const auto& [line, report] : {std::pair{"Input #0, lavfi", true},
                                     {"Output #0, h264", true},
                                     {"frame=   25 fps=0.0", true},
                                     {"  Stream #0:0: Video: h264", true},
                                     {"  Stream #0:1: Audio: pcm", true},
                                     {"  Duration: 00:00:02.00", true},
                                     {"Press [q] to stop", false},
                                     {"input #0", false},
                                     {"Frame= 10", false}}) {
    EXPECT_EQ(IsReportLine(line), report) << line;
  }
  const std::tuple<std::string, std::int64_t, std::int64_t> parses[] = {
      {"  Duration: 00:01:40.00, start: 0.000000, bitrate: 5 kb/s", 100000, -1},
      {"frame=  12 fps=0.0 q=-1.0 size=0kB time=00:00:50.00 bitrate=N/A", -1, 50000},
      {"time=00:00:04.50", -1, 4500},
      {"time=00:00:04.99", -1, 4990},
      {"time=00:00:04.5", -1, 4500},
      {"time=00:00:04.505", -1, 4505},
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
      {"Duration: 0000000001:00:00.00", 0, -1},
      {"Duration: 00:00:10.00 time=00:00:02.00", 10000, 2000},
      {"no markers here", -1, -1},
  };
  for (const auto& [line, duration, time] : parses) {
    JobFigures figures;
    figures.durationMs = -1;
    figures.timeMs = -1;
    ParseOutputLine(figures, line);
    EXPECT_EQ(figures.durationMs.load(), duration) << line;
    EXPECT_EQ(figures.timeMs.load(), time) << line;
  }
  JobFigures figures;  // a line cut just after the marker is read only as far as it goes
  ParseOutputLine(figures, std::string_view("time=00:00:07.00").substr(0, 8));
  EXPECT_EQ(figures.timeMs.load(), 0);
}

// The prober run on a folder, as it speaks: its banner, a stream's metadata, then its complaint.
// Whatever the path of the tool (a Windows one too), the log's reason lines and the one-line
// reason every presenter shows name the complaint and the tool's file name, never the banner.
TEST(FailureReasons, OneFailureReadsTheSameWhateverTheToolsPath) {
  KeptOutLines kept;
  for (std::string_view line :
       {"ffprobe version 5.1.8-0+deb12u1 Copyright (c) 2007-2025 the FFmpeg developers",
        "  built with gcc 12 (Debian 12.2.0-14+deb12u1)",
        "  configuration: --prefix=/usr --extra-version=0+deb12u1 --enable-gpl",
        "  libavutil      57. 28.100 / 57. 28.100", "  libswresample   4.  7.100 /  4.  7.100",
        "  libpostproc    56.  6.100 / 56.  6.100", "    Metadata:",
        "      handler_name    : VideoHandler", "/home/u/clips: Is a directory",
        "Conversion failed!"}) {
    kept.Keep(line);
  }
  for (const std::string program : {"/opt/vexlo/ffprobe.bin", "C:\\Vexlo\\ffprobe.bin"}) {
    SCOPED_TRACE(program);
    FailureReason reason;
    reason.program = program;
    reason.exitCode = 1;
    reason.lastLines = kept.Pick();
    EXPECT_EQ(ReasonLines(reason),
              (std::vector<std::string>{"##### REASON: /home/u/clips: Is a directory ######\r\n",
                                        "##### REASON: Conversion failed! ######\r\n",
                                        "##### REASON: ffprobe.bin exited with code 1 ######\r\n"}));
    EXPECT_EQ(EndReasonText(reason),
              "/home/u/clips: Is a directory; Conversion failed!; ffprobe.bin exited with code 1");
  }
}

TEST(ConversionProgress, RoundsMovesForwardOnlyAndSends) {
  // duration, time, position before, position after, position sent
  const std::int64_t rows[][5] = {
      {0, 500, 0, 0, 0},          {-5, 500, 40, 40, 0},          {100000, 50000, 0, 50, 50},
      {100000, 98500, 0, 98, 98}, {100000, 98510, 0, 100, 100},  {100000, 30000, 60, 60, 60},
      {100000, -500, 0, 0, 0},    {100000, 300000, 0, 100, 100}, {1000, 5, 0, 0, 0},
      {1000, 6, 0, 1, 1}};
  for (const auto& row : rows) {
    TestJobWindow window;
    window.figures.durationMs = row[0];
    window.figures.timeMs = row[1];
    window.figures.progressPos = static_cast<std::int32_t>(row[2]);
    UpdateProgress(window);
    window.host.runPosted();
    EXPECT_EQ(window.figures.progressPos.load(), row[3]) << row[0] << " " << row[1];
    EXPECT_EQ(window.host.progressHistory, std::vector<int>{static_cast<int>(row[4])});
  }
}

// A started log in its own folder; the writer does not flush by itself afterwards.
class TraceControlTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(window_.startLogAndWait(directory_)); }
  // Adds a level-30 line that makes the pane model exactly `size` characters long.
  void FillTo(std::size_t size) {
    const std::size_t now = trace_.paneText().size() + FormatLevelPrefix(30).size();
    ASSERT_GE(size, now);
    trace_.AddMessage(std::string(size - now, 'x'));
    trace_.Flush();
    ASSERT_EQ(trace_.paneText().size(), size);
  }
  std::string Pane() { return window_.shownLog(); }

  std::string directory_ = testing::MakeTempDirectory("program.dir");
  TestJobWindow window_{kQuietTick};
  TraceControl& trace_ = window_.trace;
};

TEST_F(TraceControlTest, FirstLineLevelsAndShutdown) {
  const std::regex first(
      "\\d{2} (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)-\\d{2}\\.\\d{2}\\.\\d{2} "
      "\\[30\\] # Trace process started\\.\r\n");
  EXPECT_TRUE(std::regex_match(Pane(), first)) << Pane();
  EXPECT_EQ(trace_.tracePath(), testing::Native(directory_ + "/ConvVexlo.Log"));
  trace_.StartTrace(directory_, "Other.Log",
                    TraceControl::kSaveOnOverflow);  // a second start changes nothing
  EXPECT_EQ(trace_.tracePath(), testing::Native(directory_ + "/ConvVexlo.Log"));
  window_.host.setText(res::id::kLogPane, "");
  trace_.AddMessage("thirty-one\r\n", TraceControl::Stamp::kNone, 31);
  trace_.AddMessage("thirty\r\n");
  trace_.AddMessage("five\r\n", TraceControl::Stamp::kNone, 5);
  trace_.maxLevel = 31;
  trace_.AddMessage("now shown\r\n", TraceControl::Stamp::kNone, 31);
  EXPECT_EQ(Pane(), "[30] # thirty\r\n[05] # five\r\n[31] # now shown\r\n");
  trace_.AddMessage("queued at shutdown\r\n");
  trace_.ShutdownTrace();
  trace_.AddMessage("after shutdown\r\n");
  EXPECT_EQ(Pane().find("shutdown"), std::string::npos);
}

TEST_F(TraceControlTest, APanePastTheLimitGoesToTheMonthlyFile) {
  FillTo(40000);  // exactly the limit: kept
  EXPECT_EQ(Pane().size(), 40000u);
  EXPECT_FALSE(std::filesystem::exists(trace_.datedLogPath()));
  const std::string before = trace_.paneText();
  trace_.AddMessage("0123456789123");  // 7 + 13 characters past it
  trace_.Flush();
  EXPECT_EQ(testing::ReadAll(trace_.datedLogPath()), before + "[30] # 0123456789123");
  EXPECT_EQ(Pane(), "");
  // A folder in the file's place: the pane is kept, and saved at the next flush once it can be.
  const std::string dated = trace_.datedLogPath();
  std::filesystem::rename(dated, dated + ".first");
  ASSERT_TRUE(std::filesystem::create_directory(dated));
  std::ofstream(directory_ + "/not-a-folder") << "x";  // nor can the fallback state folder
  testing::SetStateHome(directory_ + "/not-a-folder");
  trace_.AddMessage(std::string(40001, 'x'));  // the pane keeps only its last 40000
  trace_.Flush();
  EXPECT_EQ(trace_.paneText().size(), TraceControl::kPaneLimit);
  EXPECT_NE(trace_.paneText().find("##### ERROR: Log file not written (" + dated),
            std::string::npos);
  const std::string kept = trace_.paneText();
  EXPECT_EQ(Pane(), kept);
  ASSERT_TRUE(std::filesystem::remove(dated));
  trace_.AddMessage("again");
  trace_.Flush();
  EXPECT_EQ(testing::ReadAll(dated), kept + "[30] # again");
  EXPECT_EQ(Pane(), "");
  const std::regex name(
      std::regex_replace(directory_ + platform::kPathSeparator, std::regex("[.\\\\]"), "\\$&") +
      "ConvVexlo_(0[1-9]|1[0-2])_\\d{4}\\.Log");
  EXPECT_TRUE(std::regex_match(dated, name)) << dated;
}

TEST(TraceControlWriter, FlushesByItselfAndStopsPromptlyOrDropsAllWhenNotStarted) {
  testing::FakeDialogHost host;
  auto trace =
      std::make_unique<TraceControl>(host, res::id::kLogPane, std::chrono::milliseconds(1));
  trace->StartTrace(testing::MakeTempDirectory("writer"), "ConvVexlo.Log",
                    TraceControl::kSaveOnOverflow);
  trace->AddMessage("by the writer\r\n");
  EXPECT_TRUE(host.pumpUntil(
      [&] { return host.text(res::id::kLogPane).find("by the writer") != std::string::npos; }));
  trace.reset();  // joins the writer
  EXPECT_EQ(host.runPosted(), 0);
  TraceControl idle(host, res::id::kLogPane, kQuietTick);
  idle.AddMessage("dropped\r\n");
  idle.Flush();
  EXPECT_EQ(idle.paneText(), "");
  EXPECT_EQ(host.runPosted(), 0);
}

TEST(TraceFormat, DatedNamesOfTheMonthTimestampsAndPrefixes) {
  auto when = [](int month) {  // 4 December 2026 14:06:52, local time, in another month
    std::tm t{};
    std::tie(t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, t.tm_isdst) =
        std::tuple(126, month, 4, 14, 6, 52, -1);
    return std::mktime(&t);
  };
  EXPECT_EQ(DatedLogPathAt("/a/ConvVexlo.Log", when(0)), "/a/ConvVexlo_01_2026.Log");
  EXPECT_EQ(DatedLogPathAt("/a/ConvVexlo.Log", when(11)), "/a/ConvVexlo_12_2026.Log");
  EXPECT_EQ(FormatTimestamp(when(11)), "04 Dec-14.06.52 ");
  EXPECT_EQ(FormatLevelPrefix(5) + FormatLevelPrefix(100), "[05] # [100] # ");
}

// The progress detail below the bar, from scripted tool lines at scripted wall-clock times.
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
