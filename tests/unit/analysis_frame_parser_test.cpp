#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "analysis/FrameParser.h"

namespace vexlo::analysis {
namespace {

// Parses a report line by line and keeps what the parser asked of its job.
struct ParseRun {
  FrameParseState state;
  std::vector<FrameRecord> records;
  std::vector<std::string> log;
  int stops = 0;

  explicit ParseRun(bool gopMode = false) { state.gopMode = gopMode; }
  void parse(const std::string& report) {
    FrameParseHooks hooks;
    hooks.writeRecord = [this](const FrameRecord& r) { records.push_back(r); };
    hooks.appendLog = [this](std::string_view text) { log.emplace_back(text); };
    hooks.requestStop = [this] { ++stops; };
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) ParseFrameLine(state, line, hooks);
  }
};

// A report from a compact frame list: "I1" is a video frame of type I with key_frame=1,
// "P0" a P frame that is not a key frame, "a" an audio frame.
std::string Report(const std::string& frames) {
  std::string report;
  std::istringstream tokens(frames);
  for (std::string token; tokens >> token;) {
    report += "[FRAME]\n";
    if (token == "a") {
      report += "media_type=audio\nkey_frame=1\npkt_pos=10\n";
    } else {
      report += "media_type=video\npict_type=" + token.substr(0, 1) +
                "\nkey_frame=" + token.substr(1) +
                "\npkt_duration_time=0.040000\nwidth=64\nheight=48\n";
    }
    report += "[/FRAME]\n";
  }
  return report;
}

std::string Repeat(const std::string& token, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += token + " ";
  return out;
}

struct GopRow {
  const char* name;
  std::string frames;
  std::vector<std::string> log;
  std::int64_t videoFrames;
};

TEST(AnalysisGop, FirstGopRule) {
  const std::vector<GopRow> rows = {
      {"gop of eight",
       "I1 P0 P0 P0 P0 P0 P0 P0 I1 P0",
       {"GOP: IPPPPPPPI\r\n", "GOP SIZE: 8\r\n"},
       10},
      {"audio between", "a I1 a P0 a P0 a I1 a", {"GOP: IPPI\r\n", "GOP SIZE: 3\r\n"}, 4},
      {"first not key", "P0 B0 I1 P0", {"GOP: PBI\r\n", "GOP SIZE: 2\r\n"}, 4},
      {"two keys in a row", "I1 I1 P0", {"GOP: II\r\n", "GOP SIZE: 1\r\n"}, 3},
      {"only the first gop", "I1 P0 I1 P0 P0 I1", {"GOP: IPI\r\n", "GOP SIZE: 2\r\n"}, 6},
      {"single video frame", "I1", {}, 1},
      {"no second key", "I1 P0 P0", {}, 3},
      {"audio only", "a a", {}, 0},
      {"1000 letters, no second key", "I1 " + Repeat("P0", 999) + "I1", {}, 1001},
  };
  for (const GopRow& row : rows) {
    SCOPED_TRACE(row.name);
    ParseRun run;
    run.parse(Report(row.frames));
    EXPECT_EQ(run.log, row.log);
    EXPECT_EQ(run.state.header.frameCount, row.videoFrames);
    EXPECT_EQ(run.records.size(), static_cast<std::size_t>(row.videoFrames));
    EXPECT_EQ(run.stops, 0);  // not a GOP job
  }
}

TEST(AnalysisGop, GopModeAsksForOneStop) {
  ParseRun run(/*gopMode=*/true);
  run.parse(Report("I1 P0 I1 P0 I1"));
  EXPECT_EQ(run.stops, 1);
  EXPECT_FALSE(run.state.gop.measuring);
}

TEST(AnalysisGop, LongestGopLineIsShortenedToFit) {
  ParseRun run;
  run.parse(Report("I1 " + Repeat("P0", 998) + "I1"));  // 1000 letters, size 999
  ASSERT_EQ(run.log.size(), 2u);
  EXPECT_EQ(run.log[0].size(), kGopLineSize - 1);
  EXPECT_EQ(run.log[0].substr(0, 8), "GOP: IPP");
  EXPECT_EQ(run.log[0].substr(run.log[0].size() - 7), "P...I\r\n");
  EXPECT_EQ(run.log[1], "GOP SIZE: 999\r\n");
  // 992 letters still fit whole; 993 do not.
  EXPECT_EQ(GopPatternLine(std::string(992, 'P')), "GOP: " + std::string(992, 'P') + "\r\n");
  EXPECT_EQ(GopPatternLine(std::string(993, 'P')).size(), kGopLineSize - 1);
}

TEST(AnalysisFrameParser, HeaderOfOneVideoFrameStaysZero) {
  ParseRun run;
  run.parse(Report("I1"));
  EXPECT_EQ(run.state.header.frameCount, 1);
  EXPECT_EQ(run.state.header.width, 0);
  EXPECT_EQ(run.state.header.frameRate, 0.0f);
  EXPECT_EQ(run.state.header.totalDuration, 0.0);
}

struct LineRow {
  const char* name;
  std::string lines;  // the lines of one video frame block
  FrameInfo expected;
};

TEST(AnalysisFrameParser, FrameInfoFields) {
  const std::string kLong30(30, 'x');
  const std::vector<LineRow> rows = {
      {"aspect N/A", "sample_aspect_ratio=N/A\n", {.mediaType = 'v'}},
      {"aspect 16:15",
       "sample_aspect_ratio=16:15\n",
       {.mediaType = 'v', .aspectNumerator = 16, .aspectDenominator = 15}},
      {"pix_fmt of 30 cut to 19", "pix_fmt=" + kLong30 + "\n", {.mediaType = 'v'}},
      {"whole key names only",
       "coded_width=128\ncoded_height=96\nwidth=64\npkt_duration=512\n",
       {.mediaType = 'v', .width = 64}},
      {"newer duration name", "duration_time=0.5\n", {.mediaType = 'v', .frameDuration = 0.5f}},
      {"several keys on one line",
       "width=64 height=48 interlaced_frame=257\n",
       {.mediaType = 'v', .interlaced = 1, .width = 64, .height = 48}},
      {"overflowing numbers saturate",
       "width=99999999999999999999999\n",
       {.mediaType = 'v', .width = 2147483647}},
  };
  for (const LineRow& row : rows) {
    SCOPED_TRACE(row.name);
    ParseRun run;
    run.parse("[FRAME]\nmedia_type=video\n" + row.lines);
    const FrameInfo& info = run.state.info;
    EXPECT_EQ(info.mediaType, row.expected.mediaType);
    EXPECT_EQ(info.interlaced, row.expected.interlaced);
    EXPECT_EQ(info.frameDuration, row.expected.frameDuration);
    EXPECT_EQ(info.width, row.expected.width);
    EXPECT_EQ(info.height, row.expected.height);
    EXPECT_EQ(info.aspectNumerator, row.expected.aspectNumerator);
    EXPECT_EQ(info.aspectDenominator, row.expected.aspectDenominator);
  }
  // The cut name reaches the header whole and NUL-terminated.
  ParseRun run;
  const std::string frame = "[FRAME]\nmedia_type=video\npix_fmt=" + kLong30 + "\n[/FRAME]\n";
  run.parse(frame + frame);
  EXPECT_EQ(std::string(run.state.info.pixelFormat), std::string(19, 'x'));
  EXPECT_EQ(std::string(run.state.header.pixelFormat), std::string(19, 'x'));
}

}  // namespace
}  // namespace vexlo::analysis
