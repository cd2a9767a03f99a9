#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "analysis/IndexJob.h"
#include "analysis/MediaInfo.h"
#include "process/ProcessRunner.h"

namespace vexlo::analysis {
namespace {

// A window that records what the notifications asked of it.
class RecordingWindow : public process::JobWindow {
 public:
  process::JobFigures& jobFigures() override { return figures; }
  void logAppend(std::string_view text) override { log.emplace_back(text); }
  void flushLog() override { ++flushes; }
  void sendProgress(int position) override { progress.push_back(position); }
  void postEnableJobControls(bool enable) override { enables.push_back(enable); }
  void postCancelWindow() override {}
  bool automaticMode() const override { return false; }
  void noteConversionResult(bool) override {}

  process::JobFigures figures;
  std::vector<std::string> log;
  std::vector<int> progress;
  std::vector<bool> enables;
  int flushes = 0;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Delivers text as the runner does: a chunk ends after each line feed.
void Deliver(void* job, const std::string& text, int (*output)(const char*, int, void*)) {
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    output(text.data() + start, static_cast<int>(end - start), job);
    start = end;
  }
}

const std::string kFrames =
    "[FRAME]\nmedia_type=video\nkey_frame=1\npkt_pos=48\npkt_size=1277\npict_type=I\n"
    "pkt_duration_time=0.040000\nwidth=64\nheight=48\n[/FRAME]\n"
    "[FRAME]\nmedia_type=video\nkey_frame=1\npkt_pos=2000\npkt_size=900\npict_type=I\n"
    "pkt_duration_time=0.040000\nwidth=64\nheight=48\n[/FRAME]\n";

std::string WithCrLf(std::string text) {
  for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2) {
    text.insert(at, "\r");
  }
  return text;
}

std::string IndexOf(const std::string& report, const std::string& name) {
  RecordingWindow window;
  IndexJob job(window);
  const std::string path = ::testing::TempDir() + name;
  job.Prepare(path, false);
  IndexJob::OnIndexStarted(process::kNotifyStarted, &job);
  Deliver(&job, report, IndexJob::OnIndexOutput);
  IndexJob::OnIndexFinished(process::kNotifyFinished, &job);
  return ReadAll(path);
}

TEST(AnalysisIndexJob, CrLfAndBareLfReportsGiveTheSameFile) {
  const std::string lf = IndexOf(kFrames, "lf.INDX");
  EXPECT_EQ(lf.size(), 168u + 2 * 24u);
  EXPECT_EQ(IndexOf(WithCrLf(kFrames), "crlf.INDX"), lf);
}

TEST(AnalysisIndexJob, LinesCutBetweenChunksAreParsedAsTwoLines) {
  RecordingWindow window;
  IndexJob job(window);
  job.Prepare(::testing::TempDir() + "cut.INDX", false);
  const std::vector<std::string> chunks = {
      "[FRAME]\n",   "media_type=video\n",
      "pkt_size=12", "34\n",   // size read as 12
      "pkt_pos=5",   "000\n",  // "pkt_pos=5" is read, "000" is too short to be a line
      "width=64\n",  "[/FRA",
      "ME]\n",  // a cut end marker ends nothing
  };
  for (const std::string& chunk : chunks) {
    IndexJob::OnIndexOutput(chunk.data(), static_cast<int>(chunk.size()), &job);
  }
  EXPECT_EQ(job.state().record.size, 12);
  EXPECT_EQ(job.state().record.position, 5);
  EXPECT_EQ(job.state().header.frameCount, 0);
  const std::string end = "[/FRAME]\n";
  IndexJob::OnIndexOutput(end.data(), static_cast<int>(end.size()), &job);
  EXPECT_EQ(job.state().header.frameCount, 1);
}

TEST(AnalysisIndexJob, NotificationSequences) {
  const std::string start(kStartIndexing), end(kEndIndexing);
  struct Row {
    const char* name;
    bool gop;
    std::vector<int> steps;  // 1 started, 2 finished, -2/-3 errors, 0 the tool reports 2 frames
    std::vector<std::string> log;
    std::vector<int> progress;
    std::vector<bool> enables;
    std::int64_t framesInHeader;
  };
  const std::vector<Row> rows = {
      {"index", false, {1, 0, 2}, {start, end}, {100}, {true}, 2},
      {"gop", true, {1, 2}, {std::string(kGetFileGop), std::string(kEndFileGop)}, {100}, {true}, 0},
      {"start failure", false, {-2}, {std::string(kCreationIndexError)}, {}, {true}, 0},
      // The last chunks may arrive after a tool failure is reported; they still count.
      {"tool failure",
       false,
       {1, -3, 0, 2},
       {start, std::string(kIndexingError), end},
       {100},
       {true, true},
       2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RecordingWindow window;
    window.figures.progressPos = 55;
    IndexJob job(window);
    const std::string path = ::testing::TempDir() + "sequence.INDX";
    ASSERT_EQ(job.Prepare(path, row.gop), 0);
    for (int step : row.steps) {
      if (step == 0) Deliver(&job, kFrames, IndexJob::OnIndexOutput);
      if (step == 1) IndexJob::OnIndexStarted(step, &job);
      if (step == 2) IndexJob::OnIndexFinished(step, &job);
      if (step < 0) IndexJob::OnIndexError(step, &job);
    }
    std::vector<std::string> log = window.log;
    std::erase_if(log, [](const std::string& line) { return line.starts_with("GOP"); });
    EXPECT_EQ(log, row.log);
    EXPECT_EQ(window.progress, row.progress);
    EXPECT_EQ(window.enables, row.enables);
    EXPECT_FALSE(job.indexFile().isOpen());
    const std::string bytes = ReadAll(path);
    ASSERT_EQ(bytes.size(), 168u + 24u * row.framesInHeader);
    EXPECT_EQ(bytes.substr(0, 8), std::string(1, char(row.framesInHeader)) + std::string(7, '\0'));
  }
}

TEST(AnalysisIndexJob, PrepareStartsCleanAndGopModeRequestsTheStop) {
  RecordingWindow window;
  IndexJob job(window);
  int stops = 0;
  job.requestGopStop = [&] { ++stops; };
  const std::string path = ::testing::TempDir() + "again.TMP";
  { std::ofstream(path) << std::string(1000, 'x'); }
  job.Prepare(path, true);
  EXPECT_EQ(ReadAll(path), std::string(168, '\0'));  // the old file is gone
  const std::string half = "[FRAME]\nmedia_type=video\nkey_frame=1\npict_type=I\n";
  Deliver(&job, half, IndexJob::OnIndexOutput);  // a job cut short inside a block
  job.Prepare(path, true);
  EXPECT_EQ(job.state().info.mediaType, 0);
  EXPECT_EQ(job.state().record.keyFrame, 0);
  Deliver(&job, kFrames + kFrames, IndexJob::OnIndexOutput);
  EXPECT_EQ(window.log, (std::vector<std::string>{"GOP: II\r\n", "GOP SIZE: 1\r\n"}));
  EXPECT_EQ(stops, 1);
}

TEST(AnalysisMediaInfoJob, ShowsTheInputDescriptionOnly) {
  RecordingWindow window;
  MediaInfoJob job(window);
  job.Prepare();
  MediaInfoJob::OnMediaInfoStarted(process::kNotifyStarted, &job);
  Deliver(&job,
          "ffmpeg version 5.1\n  built with gcc\nInput #0, mov,mp4, from 'a.mp4':\n"
          "  Duration: 00:00:02.00, start: 0.000000, bitrate: 95 kb/s\nab\n"
          "  Stream #0:0(und): Video: h264, yuv420p, 64x48\n"
          "At least one output file must be specified\nafter the end\n",
          MediaInfoJob::OnMediaInfoOutput);
  MediaInfoJob::OnMediaInfoError(process::kErrorToolFailed, &job);
  MediaInfoJob::OnMediaInfoFinished(process::kNotifyFinished, &job);
  const std::vector<std::string> expected = {
      "\r\n",
      std::string(kMediaInfoStart),
      "Input #0, mov,mp4, from 'a.mp4':\r\n",
      "  Duration: 00:00:02.00, start: 0.000000, bitrate: 95 kb/s\r\n",
      "  Stream #0:0(und): Video: h264, yuv420p, 64x48\r\n",
      std::string(kMediaInfoEnd),
  };
  EXPECT_EQ(window.log, expected);
  EXPECT_EQ(window.flushes, 1);
  EXPECT_EQ(window.figures.durationMs.load(), 2000);
  EXPECT_FALSE(job.inInputSection());
  Deliver(&job, "Input #1, wav\n", MediaInfoJob::OnMediaInfoOutput);
  EXPECT_TRUE(job.inInputSection());
  job.Prepare();
  EXPECT_FALSE(job.inInputSection());
}

}  // namespace
}  // namespace vexlo::analysis
