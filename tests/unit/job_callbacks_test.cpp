#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "jobs/ConversionJob.h"
#include "process/ProcessRunner.h"
#include "tests/support/TestJobWindow.h"

namespace vexlo::process {
namespace {

using namespace jobs;

using testing::TestJobWindow;
using namespace std::chrono_literals;

constexpr auto kQuietTick = std::chrono::hours(1);  // the writer never flushes by itself

std::string MakeTempDirectory() {
  std::string pattern = ::testing::TempDir() + "job_callbacks_XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return {};
  return std::filesystem::canonical(pattern).string();  // TempDir() may end with '/'
}

void* Context(TestJobWindow& window) {
  return static_cast<JobWindow*>(&window);
}

void Output(TestJobWindow& window, std::string_view chunk) {
  EXPECT_EQ(OnConversionOutput(chunk.data(), static_cast<int>(chunk.size()), Context(window)), 0);
}

struct ProgressCase {
  std::int64_t durationMs;
  std::int64_t timeMs;
  std::int32_t before;
  std::int32_t after;
  int sent;
};

TEST(UpdateProgressTest, RoundsMovesForwardOnlyAndSends) {
  const std::vector<ProgressCase> cases = {
      {0, 500, 0, 0, 0},             // no duration: 0 sent
      {-5, 500, 40, 40, 0},          // no duration: position left alone, 0 sent
      {100000, 50000, 0, 50, 50},    //
      {100000, 98500, 0, 98, 98},    // 98.99999
      {100000, 98510, 0, 100, 100},  // above 99: full
      {100000, 30000, 60, 60, 60},   // never back
      {100000, -500, 0, 0, 0},       //
      {100000, 300000, 0, 100, 100},
      {1000, 5, 0, 0, 0},  // 0.99999
      {1000, 6, 0, 1, 1},  // 1.09999
  };
  for (const auto& c : cases) {
    TestJobWindow window;
    window.figures.durationMs = c.durationMs;
    window.figures.timeMs = c.timeMs;
    window.figures.progressPos = c.before;
    UpdateProgress(window);
    window.host.runPosted();
    EXPECT_EQ(window.figures.progressPos.load(), c.after) << c.durationMs << " " << c.timeMs;
    EXPECT_EQ(window.host.progressHistory, std::vector<int>{c.sent})
        << c.durationMs << " " << c.timeMs;
  }
}

TEST(ConversionNotificationsTest, CleanRunLogsReportLinesInOrder) {
  TestJobWindow window(false, kQuietTick);
  ASSERT_TRUE(window.startLogAndWait(MakeTempDirectory()));
  EXPECT_EQ(OnConversionStarted(kNotifyStarted, Context(window)), 0);
  Output(window, "Input #0, lavfi, from 'testsrc':\n");
  Output(window, "  Duration: 00:01:40.00, start: 0.000000, bitrate: N/A\n");
  Output(window, "Press [q] to stop, [?] for help\n");
  Output(window, "frame=   10 fps=0.0 time=00:00:50.00 bitrate=N/A\r");
  EXPECT_EQ(OnConversionFinished(kNotifyFinished, Context(window)), 0);

  EXPECT_EQ(window.jobLog(),
            "[30] # \r\n"
            "[30] # ##### START CONVERSION ######\r\n"
            "[30] # Input #0, lavfi, from 'testsrc':\r\n"
            "[30] #   Duration: 00:01:40.00, start: 0.000000, bitrate: N/A\r\n"
            "[30] # frame=   10 fps=0.0 time=00:00:50.00 bitrate=N/A\r\n"
            "[30] # ##### END CONVERSION ######\r\n");
  EXPECT_EQ(window.host.progressHistory, (std::vector<int>{0, 0, 0, 0, 50, 50, 100}));
  EXPECT_EQ(window.figures.progressPos.load(), 50);
  EXPECT_EQ(window.enableCalls, (std::vector<bool>{false, true}));
  EXPECT_EQ(window.conversionResult(), true);
  EXPECT_FALSE(window.host.dialogResult.has_value());
}

TEST(ConversionNotificationsTest, StartedShowsEarlierLinesAndResetsTheJob) {
  TestJobWindow window(false, kQuietTick);
  ASSERT_TRUE(window.startLogAndWait(MakeTempDirectory()));
  window.figures.durationMs = 100;
  window.figures.timeMs = 100;
  window.figures.progressPos = 77;
  window.figures.failed = true;
  window.logAppend("earlier line\r\n");
  OnConversionStarted(kNotifyStarted, Context(window));
  // The earlier line reached the pane before the job's own lines were queued.
  const std::string pane = window.trace.paneText();
  EXPECT_NE(pane.find("earlier line"), std::string::npos);
  EXPECT_EQ(pane.find("START CONVERSION"), std::string::npos);
  EXPECT_EQ(window.figures.durationMs.load(), 0);
  EXPECT_EQ(window.figures.timeMs.load(), 0);
  EXPECT_EQ(window.figures.progressPos.load(), 0);
  EXPECT_FALSE(window.figures.failed.load());
}

struct ErrorCase {
  int code;
  std::int32_t progress;
  const char* line;
};

TEST(ConversionNotificationsTest, ErrorLineDependsOnCodeAndProgress) {
  const std::vector<ErrorCase> cases = {
      {kErrorToolFailed, 90, "[30] # ##### CONVERSION  ERROR ######\r\n"},
      {kErrorToolFailed, 91, "[30] # ##### CONVERSION  BREAK ######\r\n"},
      {kErrorToolFailed, 0, "[30] # ##### CONVERSION  ERROR ######\r\n"},
      {kErrorStartFailed, 95, "[30] # ##### CREATION  ERROR ######\r\n"},
  };
  for (const auto& c : cases) {
    TestJobWindow window(false, kQuietTick);
    ASSERT_TRUE(window.startLogAndWait(MakeTempDirectory()));
    window.figures.progressPos = c.progress;
    EXPECT_EQ(OnConversionError(c.code, Context(window)), 0);
    EXPECT_EQ(window.jobLog(), c.line) << c.code << " at " << c.progress;
    EXPECT_EQ(window.enableCalls, std::vector<bool>{true});
  }
}

struct EndingCase {
  bool automatic;
  std::vector<int> codes;  // error codes before the finished notification (if any)
  bool finished;
  std::optional<bool> result;
  std::optional<int> dialogResult;
};

TEST(ConversionNotificationsTest, EndingRecordsResultAndClosesInAutomaticMode) {
  const std::vector<EndingCase> cases = {
      {false, {}, true, true, std::nullopt},
      {true, {}, true, true, 2},
      {true, {kErrorToolFailed}, true, false, 2},
      {false, {kErrorToolFailed}, true, false, std::nullopt},
      // A start failure has no finished notification: the result is settled, but the window
      // stays open for the user to close, in automatic mode too.
      {true, {kErrorStartFailed}, false, false, std::nullopt},
      {false, {kErrorStartFailed}, false, false, std::nullopt},
  };
  for (const auto& c : cases) {
    TestJobWindow window(c.automatic, kQuietTick);
    if (c.codes.empty() || c.codes[0] != kErrorStartFailed) {
      OnConversionStarted(kNotifyStarted, Context(window));
    }
    for (int code : c.codes) OnConversionError(code, Context(window));
    if (c.finished) OnConversionFinished(kNotifyFinished, Context(window));
    window.host.runPosted();
    EXPECT_EQ(window.conversionResult(), c.result) << c.automatic << " " << c.codes.size();
    EXPECT_EQ(window.host.dialogResult, c.dialogResult) << c.automatic << " " << c.codes.size();
    EXPECT_EQ(window.enableCalls.back(), true);
  }
}

TEST(ConversionNotificationsTest, FailedJobEndsWithBarFullAndControlsEnabled) {
  TestJobWindow window(false, kQuietTick);
  OnConversionStarted(kNotifyStarted, Context(window));
  Output(window, "  Duration: 00:00:10.00, start\n");
  Output(window, "frame=1 time=00:00:02.00\r");
  OnConversionError(kErrorToolFailed, Context(window));
  OnConversionFinished(kNotifyFinished, Context(window));
  window.host.runPosted();
  EXPECT_EQ(window.host.progress(), 100);
  EXPECT_EQ(window.figures.progressPos.load(), 20);
  EXPECT_EQ(window.enableCalls, (std::vector<bool>{false, true, true}));
}

TEST(ConversionNotificationsTest, NullContextOrDataDoNothing) {
  const char data[] = "frame=1 time=00:00:02.00\r";
  EXPECT_EQ(OnConversionOutput(data, sizeof data - 1, nullptr), 0);
  EXPECT_EQ(OnConversionOutput(nullptr, 10, nullptr), -1);
  EXPECT_EQ(OnConversionStarted(kNotifyStarted, nullptr), 0);
  EXPECT_EQ(OnConversionError(kErrorToolFailed, nullptr), 0);
  EXPECT_EQ(OnConversionFinished(kNotifyFinished, nullptr), 0);

  TestJobWindow window;
  EXPECT_EQ(OnConversionOutput(nullptr, 10, Context(window)), -1);
  EXPECT_EQ(window.host.runPosted(), 0);
}

TEST(ConversionNotificationsTest, WithoutAStartedLogParsingAndProgressStillWork) {
  TestJobWindow window;  // log never started: lines are dropped
  OnConversionStarted(kNotifyStarted, Context(window));
  Output(window, "  Duration: 00:00:10.00, start\rframe=1 time=00:00:05.00\r");
  window.host.runPosted();
  EXPECT_EQ(window.figures.progressPos.load(), 50);
  EXPECT_EQ(window.host.progress(), 50);
  EXPECT_EQ(window.shownLog(), "");
}

}  // namespace
}  // namespace vexlo::process
