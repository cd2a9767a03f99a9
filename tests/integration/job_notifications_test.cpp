// The conversion notifications behind a real runner and the helper tool: the log text in order,
// the bar's final position and the controls' final state for each way a run can end.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <stdlib.h>

#include <gtest/gtest.h>

#include "jobs/ConversionJob.h"
#include "process/ProcessRunner.h"
#include "tests/support/TestJobWindow.h"

namespace vexlo::process {
namespace {

using namespace jobs;

using namespace std::chrono_literals;
using testing::TestJobWindow;

std::string MakeTempDirectory() {
  std::string pattern = ::testing::TempDir() + "job_notifications_XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return {};
  return std::filesystem::canonical(pattern).string();
}

std::string ProgressLine(int frame) {
  char line[160];
  std::snprintf(line, sizeof line,
                "[30] # frame=%5d fps= 25 q=28.0 size=  1024kB time=00:00:04.92 bitrate= "
                "123.4kbits/s speed=1.0x\r\n",
                frame);
  return line;
}

const std::string kStart = "[30] # \r\n[30] # ##### START CONVERSION ######\r\n";
const std::string kDuration = "[30] # Duration: 00:01:00.00, start: 0.000000, bitrate: 1 kb/s\r\n";
const std::string kEnd = "[30] # ##### END CONVERSION ######\r\n";
const std::string kError = "[30] # ##### CONVERSION  ERROR ######\r\n";
const std::string kCreationError = "[30] # ##### CREATION  ERROR ######\r\n";
// The helper's flood of two lines: 4.92 s of 60 s is 8 %.
const std::string kTwoLines = kDuration + ProgressLine(1) + ProgressLine(2);
const std::string kTool = std::string("\"") + VEXLO_TESTTOOL_PATH + "\" --flood 2 --flood-lf";

struct RunCase {
  const char* name;
  std::string commandLine;
  std::chrono::milliseconds pollInterval;
  int stallPolls;
  bool stopAfterOutput;  // the window stops the runner once the progress lines are in
  std::string log;
  std::int32_t progressPos;
  int bar;  // the bar's final position
  std::vector<bool> enableCalls;
  bool succeeded;
};

TEST(JobNotificationsTest, EachRunEndingGivesItsLogBarAndControls) {
  const std::vector<RunCase> cases = {
      {"clean end",
       kTool,
       100ms,
       400,
       false,
       kStart + kTwoLines + kEnd,
       8,
       100,
       {false, true},
       true},
      {"failure exit 1",
       kTool + " --exit 1",
       100ms,
       400,
       false,
       kStart + kTwoLines + kError + kEnd,
       8,
       100,
       {false, true, true},
       false},
      {"watchdog",
       kTool + " --sleep-ms 20000",
       10ms,
       5,
       false,
       kStart + kTwoLines + kError + kEnd,
       8,
       100,
       {false, true, true},
       false},
      {"stop",
       kTool + " --sleep-ms 20000",
       100ms,
       400,
       true,
       kStart + kTwoLines + kEnd,
       8,
       100,
       {false, true},
       true},
      {"start failure",
       "\"/nonexistent/vexlo/ffmpeg.bin\" -i x",
       100ms,
       400,
       false,
       kCreationError,
       0,
       0,
       {true},
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestJobWindow window;
    ASSERT_TRUE(window.startLogAndWait(MakeTempDirectory()));
    void* context = static_cast<JobWindow*>(&window);
    {
      ProcessRunner runner(c.pollInterval, c.stallPolls);
      runner.SetCommandLine(c.commandLine.c_str());
      runner.output = OnConversionOutput;
      runner.started = OnConversionStarted;
      runner.error = OnConversionError;
      runner.finished = OnConversionFinished;
      runner.outputContext = runner.endContext = runner.startedContext = context;
      runner.Start();
      if (c.stopAfterOutput) {
        ASSERT_TRUE(window.host.pumpUntil([&] { return window.figures.timeMs.load() > 0; }));
        runner.Stop();
      }
      ASSERT_TRUE(window.host.pumpUntil([&] { return window.conversionResults() > 0; }));
      runner.Close();
    }
    window.host.runPosted();
    EXPECT_EQ(window.jobLog(), c.log);
    EXPECT_EQ(window.figures.progressPos.load(), c.progressPos);
    EXPECT_EQ(window.host.progress(), c.bar);
    EXPECT_EQ(window.enableCalls, c.enableCalls);
    EXPECT_EQ(window.conversionResult(), c.succeeded);
    EXPECT_EQ(window.conversionResults(), 1);
  }
}

}  // namespace
}  // namespace vexlo::process
