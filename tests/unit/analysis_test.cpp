#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>

#include "analysis/FrameGrab.h"
#include "analysis/FrameParser.h"
#include "analysis/FramePlot.h"
#include "analysis/IndexFile.h"
#include "jobs/IndexJob.h"
#include "analysis/IndexNaming.h"
#include "jobs/MediaInfo.h"
#include "analysis/OutputLength.h"
#include "analysis/PlotSvg.h"
#include "analysis/RawStream.h"
#include "process/LogTexts.h"
#include "tests/support/Support.h"
#include "tests/support/TestJobWindow.h"

namespace vexlo::analysis {
namespace {

using testing::ReadAll;
using jobs::IndexJob;
using jobs::MediaInfoCommandLine;
using jobs::MediaInfoRefusal;

TEST(AnalysisNaming, CommandLinesAndRefusals) {
  const auto n = testing::Native;  // '/' stands for the path separator
  EXPECT_EQ(FrameIndexCommandLine(n("/opt/vexlo"), n("/v/a b.mp4")),
            n("\"/opt/vexlo/ffprobe.bin\" -show_frames \"/v/a b.mp4\""));
  EXPECT_EQ(MediaInfoCommandLine(n("/opt/vexlo"), n("/v/a.mp4")),
            n("\"/opt/vexlo/ffmpeg.bin\" -i \"/v/a.mp4\""));
  EXPECT_EQ(
      GrabFrameCommandLine(n("/opt/vexlo"), n("/v/clip.mp4"), 12.5f, true, n("/v/clip_12_50.BMP")),
      n("\"/opt/vexlo/ffmpeg.bin\" -i \"/v/clip.mp4\" -ss 12.50 -vf yadif -t 1 -f image2 "
        "\"/v/clip_12_50.BMP\""));
  EXPECT_EQ(GrabFrameCommandLine(n("/d"), n("/v/c.mp4"), 0.004f, false, n("/v/c_0_00.BMP")),
            n("\"/d/ffmpeg.bin\" -i \"/v/c.mp4\" -ss 0.00 -t 1 -f image2 \"/v/c_0_00.BMP\""));
  EXPECT_EQ(GrabFrameCommandLine(n("/d"), n("/v/c.mp4"), -1.0f, false, n("/v/c_-1_00.BMP")),
            n("\"/d/ffmpeg.bin\" -i \"/v/c.mp4\" -ss -1.00 -t 1 -f image2 \"/v/c_-1_00.BMP\""));

  using process::text::UnusablePath;
  const std::string same(process::text::kSameFile), none(process::text::kOriginNotSpecified);
  EXPECT_EQ(FrameIndexRefusal("/v/clip.mp4", "/v/clip.INDX"), "");
  EXPECT_EQ(FrameIndexRefusal("/v/clip.INDX", "/v/clip.INDX"), same);
  EXPECT_EQ(FrameIndexRefusal("-clip.mp4", "-clip.INDX"), UnusablePath("-clip.mp4"));
  EXPECT_EQ(FrameIndexRefusal("", std::nullopt), none);
  EXPECT_EQ(GrabFrameRefusal("/v/clip.mp4", "/v/clip_1_00.BMP"), "");
  EXPECT_EQ(GrabFrameRefusal("", "_1_00.BMP"), none);
  EXPECT_EQ(GrabFrameRefusal("/v/clip_1_00.BMP", "/v/clip_1_00.BMP"), same);
  EXPECT_EQ(GrabFrameRefusal("/v/a\"b.mp4", "/v/a\"b_1_00.BMP"), UnusablePath("/v/a\"b.mp4"));
  EXPECT_EQ(MediaInfoRefusal("/v/clip.mp4"), "");
  EXPECT_EQ(MediaInfoRefusal("-i"), UnusablePath("-i"));
  // clip (no dot) names clip.INDX: a link called clip.INDX to the input must not be replaced.
  const std::string dir = testing::MakeTempDirectory("naming");
  std::ofstream(dir + "/clip") << "x";
  testing::MakeLink(dir + "/clip", dir + "/clip.INDX");
  EXPECT_EQ(FrameIndexRefusal(dir + "/clip", IndexPathFor(dir + "/clip", false)), same);
  std::filesystem::remove_all(dir);
}

// An output is short only when it misses more than 2 % and more than a second of its source;
// a written file's length is its duration, or, for a raw stream, its packets at its frame rate.
TEST(AnalysisOutputLength, ShortOutputsAndLengthsReadBack) {
  // source, reached, short, the warning's two times
  // clang-format off
  const std::tuple<std::int64_t, std::int64_t, bool, std::string> shortRows[] = {
      {10000, 4480, true, "0:04.48 of the source's 0:10.00"},
      {10000, 9000, false, ""}, {10000, 8999, true, ""},        // a second, and more
      {100000, 98000, false, ""}, {100000, 97999, true, ""},    // 2 %, and more
      {500, 0, false, ""}, {0, 0, false, ""}, {-1, 0, false, ""},  // no duration: never short
      {3723456, -40, true, "0:00.00 of the source's 1:02:03.45"}};
  // clang-format on
  for (const auto& [source, reached, isShort, times] : shortRows) {
    EXPECT_EQ(EndsShort(source, reached), isShort) << source << " " << reached;
    if (!times.empty()) {
      EXPECT_EQ(ShortOutputWarning(source, reached),
                "##### WARNING: The output ends at " + times +
                    " (the source may be damaged or cut short) ######\r\n");
    }
  }
  const auto stream = [](const char* type, const char* packets, const char* average,
                         const char* base) {
    return std::string("[STREAM]\ncodec_type=") + type + "\nr_frame_rate=" + base +
           "\navg_frame_rate=" + average + "\nnb_read_packets=" + packets + "\n[/STREAM]\n";
  };
  const std::string noDuration = "[FORMAT]\nduration=N/A\n[/FORMAT]\n";
  // clang-format off
  const std::pair<std::string, std::optional<std::int64_t>> lengthRows[] = {
      {stream("video", "250", "25/1", "25/1") + stream("audio", "65", "0/0", "0/0") +
           "[FORMAT]\r\nduration=10.000000\r\n[/FORMAT]\r\n", 10000},
      {stream("audio", "9", "0/0", "0/0") + stream("video", "112", "25/1", "25/1") + noDuration, 4480},
      {stream("video", "300", "0/0", "30000/1001") + stream("video", "1", "1/1", "1/1") + noDuration, 10010},
      {stream("audio", "65", "0/0", "0/0") + noDuration, std::nullopt},
      {stream("video", "N/A", "25/1", "25/1") + noDuration, std::nullopt},
      {"", std::nullopt}};
  // clang-format on
  for (const auto& [report, length] : lengthRows) {
    EXPECT_EQ(ReadOutputLength(report), length) << report;
  }
}

// Parses a report line by line and keeps what the parser asked of its job.
struct ParseRun {
  FrameParseState state;
  std::vector<FrameRecord> records;
  std::vector<std::string> log;
  int stops = 0;
  void parse(const std::string& report) {
    const FrameParseHooks hooks{[this](const FrameRecord& r) { records.push_back(r); },
                                [this](std::string_view text) { log.emplace_back(text); },
                                [this] { ++stops; }};
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) ParseFrameLine(state, line, hooks);
  }
};

// A report from a compact frame list: "I1" is a video frame of type I with key_frame=1, "P0" a P
// frame that is not a key frame, "a" an audio frame; "Pn*" repeats a token n times.
std::string Report(const std::string& frames) {
  std::string report;
  std::istringstream tokens(frames);
  for (std::string token; tokens >> token;) {
    const auto star = token.find('*');
    const int times = star == std::string::npos ? 1 : std::stoi(token.substr(star + 1));
    for (int i = 0; i < times; ++i) {
      report += token[0] == 'a'
                    ? "[FRAME]\nmedia_type=audio\nkey_frame=1\npkt_pos=10\n[/FRAME]\n"
                    : "[FRAME]\nmedia_type=video\npict_type=" + token.substr(0, 1) +
                          "\nkey_frame=" + token.substr(1, 1) +
                          "\npkt_duration_time=0.040000\nwidth=64\nheight=48\n[/FRAME]\n";
    }
  }
  return report;
}

TEST(AnalysisGop, FirstGopRuleAndTheStopOfAGopJob) {
  const std::tuple<std::string, std::vector<std::string>, std::int64_t> rows[] = {
      {"I1 P0*7 I1 P0", {"GOP: IPPPPPPPI\r\n", "GOP SIZE: 8\r\n"}, 10},
      {"a I1 a P0 a P0 a I1 a", {"GOP: IPPI\r\n", "GOP SIZE: 3\r\n"}, 4},
      {"P0 B0 I1 P0", {"GOP: PBI\r\n", "GOP SIZE: 2\r\n"}, 4},
      {"I1 I1 P0", {"GOP: II\r\n", "GOP SIZE: 1\r\n"}, 3},
      {"I1 P0 I1 P0 P0 I1", {"GOP: IPI\r\n", "GOP SIZE: 2\r\n"}, 6},
      {"I1", {}, 1},
      {"I1 P0 P0", {}, 3},
      {"a a", {}, 0},
      {"I1 P0*999 I1", {}, 1001},  // 1000 letters and no second key among them
  };
  for (const auto& [frames, log, count] : rows) {
    ParseRun run;
    run.parse(Report(frames));
    EXPECT_EQ(run.log, log) << frames;
    EXPECT_EQ(run.state.header.frameCount, count) << frames;
    EXPECT_EQ(run.records.size(), static_cast<std::size_t>(count)) << frames;
    EXPECT_EQ(run.stops, 0);  // not a GOP job
  }
  ParseRun gopJob;
  gopJob.state.gopMode = true;
  gopJob.parse(Report("I1 P0 I1 P0 I1"));
  EXPECT_EQ(gopJob.stops, 1);
  ParseRun longest;
  longest.parse(Report("I1 P0*998 I1"));  // 1000 letters, size 999: the line is shortened
  ASSERT_EQ(longest.log.size(), 2u);
  EXPECT_EQ(longest.log[0].size(), kGopLineSize - 1);
  EXPECT_EQ(longest.log[0].substr(0, 8), "GOP: IPP");
  EXPECT_EQ(longest.log[0].substr(longest.log[0].size() - 7), "P...I\r\n");
  EXPECT_EQ(longest.log[1], "GOP SIZE: 999\r\n");
  EXPECT_EQ(GopPatternLine(std::string(992, 'P')), "GOP: " + std::string(992, 'P') + "\r\n");
  EXPECT_EQ(GopPatternLine(std::string(993, 'P')).size(), kGopLineSize - 1);
}

TEST(AnalysisFrameParser, FrameInfoFields) {
  // clang-format off
  const std::pair<std::string, FrameInfo> rows[] = {
      {"sample_aspect_ratio=N/A\n", {.mediaType = 'v'}},
      {"sample_aspect_ratio=16:15\n", {.mediaType = 'v', .aspectNumerator = 16, .aspectDenominator = 15}},
      {"coded_width=128\ncoded_height=96\nwidth=64\npkt_duration=512\n", {.mediaType = 'v', .width = 64}},
      {"duration_time=0.5\n", {.mediaType = 'v', .frameDuration = 0.5f}},
      {"width=64 height=48 interlaced_frame=257\n", {.mediaType = 'v', .interlaced = 1, .width = 64, .height = 48}},
      {"width=99999999999999999999999\n", {.mediaType = 'v', .width = 2147483647}},
  };
  // clang-format on
  for (const auto& [lines, expected] : rows) {
    ParseRun run;
    run.parse("[FRAME]\nmedia_type=video\n" + lines);
    const FrameInfo& info = run.state.info;
    EXPECT_EQ(
        std::tuple(info.mediaType, info.interlaced, info.frameDuration, info.width, info.height,
                   info.aspectNumerator, info.aspectDenominator),
        std::tuple(expected.mediaType, expected.interlaced, expected.frameDuration, expected.width,
                   expected.height, expected.aspectNumerator, expected.aspectDenominator))
        << lines;
  }
  // A pixel format name of 30 letters is cut to 19 and reaches the header NUL-terminated; the
  // header of a single video frame keeps its rates zero.
  ParseRun run;
  const std::string frame =
      "[FRAME]\nmedia_type=video\npix_fmt=" + std::string(30, 'x') + "\n[/FRAME]\n";
  run.parse(frame + frame);
  EXPECT_EQ(std::string(run.state.header.pixelFormat), std::string(19, 'x'));
  ParseRun single;
  single.parse(Report("I1"));
  EXPECT_EQ(single.state.header.frameRate, 0.0f);
  EXPECT_EQ(single.state.header.totalDuration, 0.0);
}

// Three video frames (the header describes the last) and an audio frame among them.
constexpr const char* kReport =
    "[FRAME]\nmedia_type=video\nkey_frame=1\npkt_duration_time=0.500000\npkt_pos=48\n"
    "pkt_size=1277\nwidth=64\nheight=48\npix_fmt=yuv420p\nsample_aspect_ratio=1:1\n"
    "pict_type=I\ninterlaced_frame=0\ntop_field_first=0\n[/FRAME]\n"
    "[FRAME]\nmedia_type=audio\nkey_frame=1\npkt_duration_time=0.023220\npkt_pos=1583\n"
    "pkt_size=258\n[/FRAME]\n"
    "[FRAME]\nmedia_type=video\nkey_frame=0\npkt_duration_time=0.500000\npkt_pos=1841\n"
    "pkt_size=300\nwidth=64\nheight=48\npix_fmt=yuv420p\nsample_aspect_ratio=1:1\n"
    "pict_type=P\ninterlaced_frame=0\ntop_field_first=0\n[/FRAME]\n"
    "[FRAME]\nmedia_type=video\nkey_frame=0\npkt_duration_time=0.500000\npkt_pos=4294967296\n"
    "pkt_size=70000.9\nwidth=720\nheight=576\npix_fmt=yuv422p10le\nsample_aspect_ratio=64:45\n"
    "pict_type=B\ninterlaced_frame=1\ntop_field_first=1\n[/FRAME]\n";

std::string Hex(const std::string& bytes) {
  std::string hex;
  char two[3];
  for (unsigned char c : bytes) hex += (std::snprintf(two, sizeof two, "%02x", c), two);
  return hex;
}

// Delivers text as the runner does, a chunk per line, to a job's watch; the steps of a job:
// 1 started, 0 the report, and its end: 2 finished, -2 could not start, -3 failed.
template <typename Job>
void Play(Job& job, const std::vector<int>& steps, const std::string& report) {
  const process::ToolWatch watch = job.Watch();
  process::KeptOutLines keptOut;
  for (int step : steps) {
    if (step == 1) watch.started();
    if (step == 2 || step < 0) {
      process::ToolEnd end;
      end.outcome = step == 2 ? process::JobOutcome::kFinished : process::JobOutcome::kFailed;
      end.started = step != -2;
      watch.ended(end);
    }
    for (std::size_t at = 0, end; step == 0 && at < report.size(); at = end) {
      end = std::min(report.find('\n', at), report.size() - 1) + 1;
      watch.output(std::string_view(report).substr(at, end - at), keptOut);
    }
  }
}

TEST(AnalysisIndexJob, TheIndexFileBytesAndTheWatchSequences) {
  const std::string path = testing::MakeTempDirectory("index") + "/clip.INDX";
  // clang-format off
  const std::string header =  // 3 frames, 1.5 s, 2/s, 0.5 s, tff, yuv422p10le, 720x576, 64:45
      "0300000000000000" "000000000000f83f" "00000040" "0000003f" "01" "01" "797576343232703130" "6c65"
      "0000000000000000000000" "d0020000" "40020000" "76000000" "40000000" "2d000000" + std::string(200, '0');
  const std::string records =
      "01490000000000003000000000000000fd04000000000000"  // key, I, 48, 1277
      "005000000000000031070000000000002c01000000000000"  // P, 1841, 300
      "004200000000000000000000010000007011010000000000";  // B, 2^32, 70000 (cut)
  // clang-format on
  const std::string crlf = std::regex_replace(std::string(kReport), std::regex("\n"), "\r\n");
  struct Row {
    bool gop;
    std::vector<int> steps;
    std::string log;
    process::JobOutcome outcome;
    std::optional<int> bar;  // where the end leaves the bar
    std::string bytes;
  };
  const std::string start = "[30] # ##### START INDEXING ######\r\n",
                    end = "[30] # ##### END INDEXING ######\r\n";
  // clang-format off
  const Row rows[] = {
      {false, {1, 0, 2}, start + end, process::JobOutcome::kFinished, 100, header + records},
      {true, {1, 2}, "[30] # ##### GET FILE GOP ######\r\n[30] # ##### END FILE GOP ######\r\n", process::JobOutcome::kFinished, 100, std::string(336, '0')},
      {false, {-2}, "[30] # ##### CREATION INDEX ERROR ######\r\n", process::JobOutcome::kFailed, std::nullopt, std::string(336, '0')},
      // A tool that failed after its report: the records it read are still written.
      {false, {1, 0, -3}, start + "[30] # ##### INDEXING  ERROR ######\r\n" + end, process::JobOutcome::kFailed, 100, header + records},
  };
  // clang-format on
  for (const std::string& report : {std::string(kReport), crlf}) {
    for (const Row& row : rows) {
      testing::TestJobWindow window;
      ASSERT_TRUE(window.startLogAndWait(testing::MakeTempDirectory("index")));
      window.figures.progressPos = 55;
      IndexJob job(window);
      std::ofstream(path) << std::string(1000, 'x');  // an old file is replaced
      ASSERT_EQ(job.Prepare(path, row.gop), 0);
      Play(job, row.steps, report);
      EXPECT_EQ(window.jobLog(), row.log);
      ASSERT_EQ(window.ends.size(), 1u);  // one end, whatever came before it
      const jobs::JobEnd& told = window.ends[0];
      EXPECT_EQ(std::tuple(told.kind, told.outcome, told.started, told.finalProgress, told.output,
                           told.frames),
                std::tuple(row.gop ? jobs::JobKind::kGop : jobs::JobKind::kIndex, row.outcome,
                           row.steps[0] != -2, row.bar, path,
                           std::int64_t{row.bytes == header + records ? 3 : 0}));
      EXPECT_FALSE(job.indexFile().isOpen());
      EXPECT_EQ(Hex(ReadAll(path)), row.bytes);
    }
  }
}

TEST(AnalysisIndexFile, RecordsPastTheBufferInOrderAndRefusedCalls) {
  const std::string path = testing::MakeTempDirectory("index") + "/many.INDX";
  IndexFile file;
  EXPECT_EQ(file.WriteRecord(FrameRecord{}), -1);  // nothing open
  ASSERT_EQ(file.Open(path), 0);
  EXPECT_EQ(file.Finish(nullptr), -1);
  const int count = static_cast<int>(3 * IndexFile::kBufferSize / sizeof(FrameRecord) + 5);
  for (int i = 0; i < count; ++i) ASSERT_EQ(file.WriteRecord(FrameRecord{.position = i}), 0);
  file.Release();  // the records reach the file even without a header
  const std::string bytes = ReadAll(path);
  ASSERT_EQ(bytes.size(), 168 + count * sizeof(FrameRecord));
  for (int i = 0; i < count; i += 997) {
    std::int64_t position;
    std::memcpy(&position, bytes.data() + 168 + i * sizeof(FrameRecord) + 8, sizeof position);
    EXPECT_EQ(position, i);
  }
  const IndexHeader none{};
  EXPECT_EQ(file.Finish(&none), -1);  // nothing open any more
  EXPECT_EQ(file.Open(path + ".d/x.INDX"), -1);
}

TEST(AnalysisIndexJob, LinesCutBetweenChunksAndAGopJobStartedAgain) {
  testing::TestJobWindow window;
  ASSERT_TRUE(window.startLogAndWait(testing::MakeTempDirectory("index")));
  IndexJob job(window);
  int stops = 0;
  job.requestGopStop = [&] { ++stops; };
  const std::string path = testing::MakeTempDirectory("index") + "/cut.TMP";
  job.Prepare(path, false);
  // "pkt_size=12" + "34" is read as 12; "pkt_pos=5" + "000": "000" is too short to be a line.
  const process::ToolWatch watch = job.Watch();
  process::KeptOutLines keptOut;
  for (const std::string chunk : {"[FRAME]\n", "media_type=video\n", "pkt_size=12", "34\n",
                                  "pkt_pos=5", "000\n", "width=64\n", "[/FRA", "ME]\n"}) {
    watch.output(chunk, keptOut);
  }
  EXPECT_EQ(job.state().record.size, 12);
  EXPECT_EQ(job.state().record.position, 5);
  EXPECT_EQ(job.state().header.frameCount, 0);  // a cut end marker ends nothing
  job.Prepare(path, true);                      // a job cut short inside a block starts clean
  EXPECT_EQ(job.state().info.mediaType, 0);
  Play(job, {0}, Report("I1 I1"));
  EXPECT_EQ(window.jobLog(), "[30] # GOP: II\r\n[30] # GOP SIZE: 1\r\n");
  EXPECT_EQ(stops, 1);
}

// The picture's model over a parsed report at 10 frames/s: GOPs of 3 and 7 frames and an open
// last one, a frame whose timestamp is "N/A" (placed one duration after the one before), the
// fullest one-second window; then 100,000 key frames, which fall into pixel columns and still
// make an SVG under 2 MB, and a zoomed view that draws each frame.
TEST(AnalysisFramePlot, SummaryWindowsAndPixelColumns) {
  std::string report;
  for (int i = 0; i < 12; ++i) {
    const bool key = i == 0 || i == 3 || i == 10;
    const std::string time = i == 5 ? "N/A" : std::to_string(i * 0.1);
    report += "[FRAME]\nmedia_type=video\nkey_frame=" + std::to_string(key) + "\npict_type=" +
              (key     ? "I"
               : i % 2 ? "B"
                       : "P") +
              "\npkt_size=" + std::to_string(1000 + i) +
              "\npkt_duration_time=0.1\nbest_effort_timestamp_time=" + time + "\n[/FRAME]\n";
  }
  ParseRun run;
  PlotFrameCollector collector;
  FrameParseHooks hooks;
  hooks.writeRecord = [&](const FrameRecord& r) { collector.Add(r, run.state.info); };
  std::istringstream lines(report);
  for (std::string line; std::getline(lines, line);) ParseFrameLine(run.state, line, hooks);
  const FramePlot plot(collector.Take(), "a&b.mp4");
  ASSERT_EQ(plot.frames().size(), 12u);
  EXPECT_NEAR(plot.frames()[5].time, 0.5, 1e-6);
  EXPECT_NEAR(plot.windowKbps()[9], 10045 * 8 / 1000.0, 1e-9);   // frames 0 to 9
  EXPECT_NEAR(plot.windowKbps()[11], 10065 * 8 / 1000.0, 1e-9);  // frames 2 to 11
  EXPECT_EQ(SummaryLine(plot.summary()),
            "12 frames, 3 key frames, GOP shortest 3, longest 7, average 5.0 frames, bit rate "
            "average 80.4 kbit/s, peak 80.5 kbit/s at 1.10 s");
  const PlotPicture whole = plot.Draw({});
  EXPECT_FALSE(whole.binned);
  EXPECT_EQ(whole.keyMarks.size(), 3u);
  EXPECT_EQ(whole.bars[0].size() + whole.bars[1].size() + whole.bars[2].size(), 12u);
  ASSERT_EQ(whole.gopLabels.size(), 2u);
  EXPECT_EQ(whole.gopLabels[1].label, "7");
  EXPECT_NE(PlotSvg(whole).find("<title>Frames of a&amp;b.mp4</title>"), std::string::npos);
  EXPECT_EQ(XmlText("<\xff\x01\xc3\xa9\xed\xa0\x80\""),
            "&lt;\xEF\xBF\xBD?\xc3\xa9\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD&quot;");

  std::vector<PlotFrame> many(100000);
  for (std::size_t i = 0; i < many.size(); ++i) {
    many[i] = {static_cast<double>(i) / 25, static_cast<std::int32_t>(i % 977 * 31), 'I', true};
  }
  const FramePlot large(std::move(many), "large");
  const PlotPicture columns = large.Draw({});
  EXPECT_TRUE(columns.binned);
  const auto width = static_cast<std::size_t>(columns.right - columns.left);
  EXPECT_EQ(columns.bars[0].size(), width);
  EXPECT_EQ(columns.keyMarks.size(), width);
  EXPECT_EQ(columns.bitRate.size(), width);
  EXPECT_LT(PlotSvg(columns).size(), 2'000'000u);
  EXPECT_EQ(large.summary().gops, 99999);
  const PlotPicture zoomed = large.Draw({800, 400, 100, 101});  // frames 2500 to 2524
  EXPECT_FALSE(zoomed.binned);
  EXPECT_EQ(zoomed.bars[0].size(), 25u);
  EXPECT_EQ(zoomed.timeTicks.front().label, "100.0");
}

// A raw stream cut short or bytes that are no stream: no reading, or one of the pictures that
// are there; never more frames than the whole stream's 75, never a fault.
TEST(AnalysisRawStream, CutAndDamagedStreams) {
#ifdef _WIN32
  GTEST_SKIP() << "the clips are made by the Linux run's fixture; under Wine the real tools' "
                  "batch reads raw streams back";
#endif
  const std::string whole = ReadAll(testing::Clip("clip.h264"));
  std::string noise = std::string("\0\0\1", 3);
  for (unsigned value = 1; noise.size() < 4000; value = value * 1103515245 + 12345) {
    noise.push_back(static_cast<char>(value >> 16));
  }
  struct Row {
    std::string name, bytes;
    int fewest, most;  // frames of the reading; 0 and 0: no reading
  };
  const std::vector<Row> rows = {
      {"whole", whole, 75, 75},
      {"cut in its parameter set", whole.substr(0, 12), 0, 0},
      {"cut at half", whole.substr(0, whole.size() / 2), 3, 74},
      {"no stream", "this is no video\n", 0, 0},
      {"noise after a start code", noise, 0, 0},
      {"noise before the stream", noise + whole, 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string path = testing::MakeTempDirectory("raw") + "/clip.h264";
    std::ofstream(path, std::ios::binary) << row.bytes;
    const auto reading = ReadRawStream(path, RawCodec::kH264, true);
    const auto frames = reading ? reading->video.frames.value_or(-1) : 0;
    EXPECT_GE(frames, row.fewest);
    EXPECT_LE(frames, row.most);
    EXPECT_EQ(reading ? reading->video.size : PictureSize({64, 48}), PictureSize({64, 48}));
  }
  EXPECT_EQ(ReadRawStream(testing::MakeTempDirectory("raw") + "/none.h264", RawCodec::kH264, false),
            std::nullopt);
  EXPECT_EQ(ReadRawStream(testing::Clip("clip.h264"), RawCodec::kH264, true)->video.longestGop, 8);
}

}  // namespace
}  // namespace vexlo::analysis
