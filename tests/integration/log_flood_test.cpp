// A tool that prints progress lines as fast as it can: every report line reaches the pane or the
// monthly file, and the pane stays bounded meanwhile.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include <stdlib.h>

#include <gtest/gtest.h>

#include "jobs/ConversionJob.h"
#include "process/ProcessRunner.h"
#include "process/TraceControl.h"
#include "tests/support/TestJobWindow.h"

namespace vexlo::process {
namespace {

using namespace jobs;

constexpr long kFloodLines = 200000;

std::string MakeTempDirectory() {
  std::string pattern = ::testing::TempDir() + "log_flood_XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return {};
  return std::filesystem::canonical(pattern).string();
}

long CountOf(std::string_view text, std::string_view marker) {
  long count = 0;
  for (auto at = text.find(marker); at != std::string_view::npos; at = text.find(marker, at + 1)) {
    ++count;
  }
  return count;
}

// The report lines in every monthly file of the directory (a run may cross a month's end).
long CountInMonthlyFiles(const std::string& directory, std::string_view marker) {
  long count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("ConvVexlo_", 0) != 0) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    count += CountOf(std::string(std::istreambuf_iterator<char>(in), {}), marker);
  }
  return count;
}

TEST(LogFloodTest, NoReportLineIsLostAndThePaneStaysBounded) {
  const std::string directory = MakeTempDirectory();
  testing::TestJobWindow window;
  ASSERT_TRUE(window.startLogAndWait(directory));
  void* context = static_cast<JobWindow*>(&window);
  const std::string commandLine = std::string("\"") + VEXLO_TESTTOOL_PATH + "\" --flood " +
                                  std::to_string(kFloodLines) + " --flood-lf";
  std::size_t largestModel = 0;
  std::size_t largestPane = 0;
  {
    ProcessRunner runner;
    runner.SetCommandLine(commandLine.c_str());
    runner.output = OnConversionOutput;
    runner.started = OnConversionStarted;
    runner.error = OnConversionError;
    runner.finished = OnConversionFinished;
    runner.outputContext = runner.endContext = runner.startedContext = context;
    runner.Start();
    ASSERT_TRUE(window.host.pumpUntil(
        [&] {
          largestModel = std::max(largestModel, window.trace.paneText().size());
          largestPane = std::max(largestPane, window.paneText().size());
          return window.conversionResults() > 0;
        },
        std::chrono::minutes(5)));
    runner.Close();
  }
  const std::string pane = window.shownLog();
  EXPECT_LE(largestModel, TraceControl::kPaneLimit);
  EXPECT_LE(largestPane, TraceControl::kPaneLimit);
  EXPECT_LE(pane.size(), TraceControl::kPaneLimit);
  EXPECT_EQ(pane, window.trace.paneText());
  EXPECT_EQ(CountOf(pane, "frame=") + CountInMonthlyFiles(directory, "frame="), kFloodLines);
  constexpr std::string_view kEnd = "##### END CONVERSION ######";
  EXPECT_EQ(CountOf(pane, kEnd) + CountInMonthlyFiles(directory, kEnd), 1);
  EXPECT_EQ(window.conversionResult(), true);
  EXPECT_EQ(window.host.progress(), 100);
}

}  // namespace
}  // namespace vexlo::process
