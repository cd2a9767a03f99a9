#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Paths.h"
#include "process/TraceControl.h"
#include "process/TraceFormat.h"
#include "res/ControlIds.h"
#include "tests/support/FakeDialogHost.h"

namespace vexlo::process {
namespace {

using namespace std::chrono_literals;
constexpr int kPane = res::id::kLogPane;
constexpr auto kQuietTick = std::chrono::hours(1);  // the writer never flushes by itself
constexpr std::string_view kStartLine = "Trace process started.\r\n";

std::string MakeTempDirectory(const std::string& name = "trace_XXXXXX") {
  std::string pattern = ::testing::TempDir() + name;
  if (mkdtemp(pattern.data()) == nullptr) return {};
  return std::filesystem::canonical(pattern).string();  // TempDir() may end with '/'
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A started log in its own directory whose writer has queued its first line, moved into the
// pane; the writer does not flush by itself afterwards.
class TraceControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = MakeTempDirectory();
    ASSERT_FALSE(directory_.empty());
    Start(directory_);
  }

  void Start(const std::string& directory) {
    trace_.StartTrace(directory, "ConvVexlo.Log", TraceControl::kSaveOnOverflow);
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (trace_.paneText().find(kStartLine) == std::string::npos) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline);
      trace_.Flush();
      std::this_thread::sleep_for(1ms);
    }
    host_.runPosted();
  }

  // Adds a level-30 line that makes the pane model exactly `size` characters long.
  void FillTo(std::size_t size) {
    const std::size_t prefix = FormatLevelPrefix(30).size();
    const std::size_t now = trace_.paneText().size();
    ASSERT_GE(size, now + prefix);
    trace_.AddMessage(std::string(size - now - prefix, 'x'), 0, 30);
    trace_.Flush();
    ASSERT_EQ(trace_.paneText().size(), size);
  }

  std::string directory_;
  testing::FakeDialogHost host_;
  TraceControl trace_{host_, kPane, kQuietTick};
};

TEST_F(TraceControlTest, FirstLineCarriesTimestampAndLevel) {
  const std::regex first(
      "\\d{2} (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)-\\d{2}\\.\\d{2}\\.\\d{2} "
      "\\[30\\] # Trace process started\\.\r\n");
  EXPECT_TRUE(std::regex_match(trace_.paneText(), first)) << trace_.paneText();
  EXPECT_EQ(host_.text(kPane), trace_.paneText());
}

TEST_F(TraceControlTest, LevelsAboveTheMaximumAreDropped) {
  host_.setText(kPane, "");
  trace_.AddMessage("thirty-one\r\n", 0, 31);
  trace_.AddMessage("thirty\r\n", 0, 30);
  trace_.AddMessage("five\r\n", 0, 5);
  trace_.maxLevel = 31;
  trace_.AddMessage("now shown\r\n", 0, 31);
  trace_.Flush();
  host_.runPosted();
  EXPECT_EQ(host_.text(kPane), "[30] # thirty\r\n[05] # five\r\n[31] # now shown\r\n");
}

TEST_F(TraceControlTest, FlushPastTheLimitSavesEverythingAndEmptiesThePane) {
  FillTo(39990);
  const std::string before = trace_.paneText();
  trace_.AddMessage("0123456789123", 0, 30);  // 7 + 13 characters: 40010
  trace_.Flush();
  const std::string saved = ReadFile(trace_.datedLogPath());
  EXPECT_EQ(saved.size(), 40010u);
  EXPECT_EQ(saved, before + "[30] # 0123456789123");
  EXPECT_EQ(trace_.paneText(), "");
  host_.runPosted();
  EXPECT_EQ(host_.text(kPane), "");

  // The next overflow is appended after the first.
  FillTo(40000);
  trace_.AddMessage("y", 0, 30);
  trace_.Flush();
  EXPECT_EQ(ReadFile(trace_.datedLogPath()).size(), 40010u + 40008u);
}

TEST_F(TraceControlTest, FlushEndingAtExactlyTheLimitKeepsThePane) {
  FillTo(40000);
  host_.runPosted();
  EXPECT_EQ(host_.text(kPane).size(), 40000u);
  EXPECT_FALSE(std::filesystem::exists(trace_.datedLogPath()));
}

TEST_F(TraceControlTest, UnwritableFileKeepsThePaneAndIsRetried) {
  // A directory in the file's place: it cannot be opened as a file, whoever runs the test.
  const std::string dated = trace_.datedLogPath();
  ASSERT_EQ(mkdir(dated.c_str(), 0700), 0);
  std::ofstream(directory_ + "/not-a-folder") << "x";  // nor can the fallback state folder
  ::setenv("XDG_STATE_HOME", (directory_ + "/not-a-folder").c_str(), 1);
  trace_.AddMessage(std::string(40001, 'x'), 0, 30);  // the pane keeps only its last 40000
  trace_.Flush();
  EXPECT_EQ(trace_.paneText().size(), TraceControl::kPaneLimit);
  host_.runPosted();
  EXPECT_EQ(host_.text(kPane), trace_.paneText());
  EXPECT_NE(trace_.paneText().find("##### ERROR: Log file not written (" + dated), std::string::npos);
  const std::string kept = trace_.paneText();

  ASSERT_EQ(rmdir(dated.c_str()), 0);
  trace_.AddMessage("again", 0, 30);
  trace_.Flush();
  EXPECT_EQ(ReadFile(dated), kept + "[30] # again");
  EXPECT_EQ(trace_.paneText(), "");
  host_.runPosted();
  EXPECT_EQ(host_.text(kPane), "");
}

TEST_F(TraceControlTest, ShutdownDropsQueuedAndLaterLines) {
  trace_.AddMessage("queued at shutdown\r\n", 0, 30);
  trace_.ShutdownTrace();
  trace_.AddMessage("after shutdown\r\n", 0, 30);
  trace_.Flush();
  host_.runPosted();
  EXPECT_EQ(trace_.paneText().find("shutdown"), std::string::npos);
  EXPECT_EQ(host_.text(kPane).find("shutdown"), std::string::npos);
  EXPECT_FALSE(trace_.started());
}

TEST_F(TraceControlTest, SecondStartKeepsTheFirstPath) {
  const std::string path = trace_.tracePath();
  trace_.StartTrace(directory_, "Other.Log", TraceControl::kSaveOnOverflow);
  EXPECT_EQ(trace_.tracePath(), path);
  EXPECT_EQ(path, directory_ + "/ConvVexlo.Log");
}

TEST(TraceControlDirectoryTest, DatedFileStaysInADirectoryWithAPointInItsName) {
  const std::string directory = MakeTempDirectory("program.dir_XXXXXX");
  testing::FakeDialogHost host;
  TraceControl trace(host, kPane, kQuietTick);
  trace.StartTrace(directory, "ConvVexlo.Log", TraceControl::kSaveOnOverflow);
  const std::regex dated(std::regex_replace(directory, std::regex("\\."), "\\.") +
                         "/ConvVexlo_(0[1-9]|1[0-2])_\\d{4}\\.Log");
  EXPECT_TRUE(std::regex_match(trace.datedLogPath(), dated)) << trace.datedLogPath();
}

TEST(TraceControlWriterTest, WriterFlushesByItselfAndStopsPromptly) {
  testing::FakeDialogHost host;
  auto trace = std::make_unique<TraceControl>(host, kPane, 1ms);
  trace->StartTrace(platform::CurrentDirectory(), "ConvVexlo.Log", TraceControl::kSaveOnOverflow);
  trace->AddMessage("by the writer\r\n", 0, 30);
  EXPECT_TRUE(
      host.pumpUntil([&] { return host.text(kPane).find("by the writer") != std::string::npos; }));
  trace.reset();  // joins the writer
  EXPECT_EQ(host.runPosted(), 0);
}

TEST(TraceControlWriterTest, NotStartedDropsEverything) {
  testing::FakeDialogHost host;
  TraceControl trace(host, kPane, kQuietTick);
  trace.AddMessage("dropped\r\n", 0, 30);
  trace.Flush();
  trace.ShutdownTrace();
  EXPECT_EQ(trace.paneText(), "");
  EXPECT_EQ(host.runPosted(), 0);
}

struct DatedCase {
  const char* tracePath;
  int month;
  int year;
  const char* dated;
};

TEST(DatedLogPathTest, ReplacesTheFileNamesExtension) {
  const std::vector<DatedCase> cases = {
      {"/opt/vexlo/ConvVexlo.Log", 12, 2026, "/opt/vexlo/ConvVexlo_12_2026.Log"},
      {"/opt/v.2/ConvVexlo.Log", 1, 2027, "/opt/v.2/ConvVexlo_01_2027.Log"},
      {"/opt/v.2/TraceFile", 3, 2026, "/opt/v.2/TraceFile_03_2026.Log"},
      {"/opt/v/a.b.Log", 3, 2026, "/opt/v/a.b_03_2026.Log"},
      {"ConvVexlo.Log", 7, 2026, "ConvVexlo_07_2026.Log"},
      {"", 0, 0, "_00_0000.Log"},
  };
  for (const auto& c : cases) EXPECT_EQ(DatedLogPath(c.tracePath, c.month, c.year), c.dated);
}

TEST(FormatTimestampTest, EnglishMonthAndTwoDigitFields) {
  std::tm when{};
  when.tm_year = 2026 - 1900;
  when.tm_mon = 11;
  when.tm_mday = 4;
  when.tm_hour = 14;
  when.tm_min = 6;
  when.tm_sec = 52;
  when.tm_isdst = -1;
  EXPECT_EQ(FormatTimestamp(std::mktime(&when)), "04 Dec-14.06.52 ");
  EXPECT_EQ(FormatLevelPrefix(30), "[30] # ");
  EXPECT_EQ(FormatLevelPrefix(5), "[05] # ");
  EXPECT_EQ(FormatLevelPrefix(100), "[100] # ");
}

}  // namespace
}  // namespace vexlo::process
