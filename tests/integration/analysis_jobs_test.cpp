// The analysis jobs behind a real runner and the real tools, on clips made at test time.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/FrameGrab.h"
#include "analysis/IndexJob.h"
#include "analysis/IndexNaming.h"
#include "analysis/MediaInfo.h"
#include "process/ProcessRunner.h"
#include "tests/support/TestJobWindow.h"

namespace vexlo::analysis {
namespace {

namespace fs = std::filesystem;
using process::ProcessRunner;
using testing::TestJobWindow;

std::string MakeTempDirectory() {
  std::string pattern = ::testing::TempDir() + "analysis_jobs_XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return {};
  return fs::canonical(pattern).string();
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A clip of 64x48 at 25 frames/s with a GOP of 8 and no B-frames, with a sine as audio.
bool MakeClip(const std::string& path, int seconds) {
  const std::string command =
      std::string("\"") + VEXLO_FFMPEG_PATH +
      "\" -v error -y -f lavfi -i testsrc=size=64x48:rate=25:duration=" + std::to_string(seconds) +
      " -f lavfi -i sine=duration=" + std::to_string(seconds) +
      " -c:v libx264 -g 8 -bf 0 -sc_threshold 0 -pix_fmt yuv420p -c:a aac "
      "-shortest \"" +
      path + "\"";
  return std::system(command.c_str()) == 0;
}

// The video frames as the prober reports them, each as "key|type|position|size".
std::vector<std::string> ProbedVideoFrames(const std::string& clip) {
  const std::string command =
      std::string("\"") + VEXLO_FFPROBE_PATH +
      "\" -v error -select_streams v -show_entries frame=key_frame,pict_type,pkt_pos,pkt_size "
      "-of compact=p=0 \"" +
      clip + "\"";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::vector<std::string> frames;
  char line[512];
  while (pipe && std::fgets(line, sizeof line, pipe.get())) {
    std::string key, type, position, size, field;
    std::istringstream fields(line);
    while (std::getline(fields, field, '|')) {
      const auto equals = field.find('=');
      if (equals == std::string::npos) continue;
      const std::string name = field.substr(0, equals), value = field.substr(equals + 1);
      if (name == "key_frame") key = value;
      if (name == "pict_type") type = value.substr(0, 1);
      if (name == "pkt_pos") position = value;
      if (name == "pkt_size") size = value;
    }
    if (!key.empty()) frames.push_back(key + "|" + type + "|" + position + "|" + size);
  }
  return frames;
}

struct IndexContents {
  IndexHeader header;
  std::vector<std::string> frames;  // "key|type|position|size"
};

IndexContents ReadIndex(const std::string& path) {
  const std::string bytes = ReadAll(path);
  IndexContents contents{};
  if (bytes.size() < sizeof(IndexHeader)) return contents;
  std::memcpy(&contents.header, bytes.data(), sizeof(IndexHeader));
  for (std::size_t at = sizeof(IndexHeader); at + sizeof(FrameRecord) <= bytes.size();
       at += sizeof(FrameRecord)) {
    FrameRecord r;
    std::memcpy(&r, bytes.data() + at, sizeof r);
    contents.frames.push_back(std::to_string(r.keyFrame) + "|" + std::string(1, r.pictType) + "|" +
                              std::to_string(r.position) + "|" + std::to_string(r.size));
  }
  return contents;
}

class AnalysisJobs : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    directory_ = MakeTempDirectory();
    programDir_ = directory_ + "/program";
    fs::create_directories(programDir_);
    fs::create_symlink(VEXLO_FFMPEG_PATH, programDir_ + "/ffmpeg.bin");
    fs::create_symlink(VEXLO_FFPROBE_PATH, programDir_ + "/ffprobe.bin");
    clip_ = directory_ + "/clip.mp4";
    longClip_ = directory_ + "/long.mp4";
    clipsMade_ = MakeClip(clip_, 3);
  }

  static void TearDownTestSuite() {
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
  }

  void SetUp() override {
    ASSERT_TRUE(clipsMade_);
    ASSERT_TRUE(window.startLogAndWait(directory_));
  }

  // Runs an indexing job to its end as the window would; the GOP stop closes the runner from
  // the test's thread, which plays the window's thread.
  void RunIndexJob(const std::string& programDir, const std::string& input, bool gopMode) {
    const auto indexPath = IndexPathFor(input, gopMode);
    ASSERT_TRUE(indexPath);
    ASSERT_EQ(FrameIndexRefusal(input, indexPath), "");
    std::unique_ptr<ProcessRunner> runner;
    job.requestGopStop = [&] { window.host.post([&] { runner->Close(); }); };
    job.Prepare(*indexPath, gopMode);
    runner =
        process::StartJob(FrameIndexCommandLine(programDir, input), IndexJob::kNotifications, &job);
    ASSERT_TRUE(window.host.pumpUntil([&] {
      return runner->state() == process::kRunnerEnded ||
             runner->state() == process::kRunnerStartFailed;
    }));
    runner->Close();
    window.host.runPosted();
    job.requestGopStop = nullptr;
  }

  static inline std::string directory_, programDir_, clip_, longClip_;
  static inline bool clipsMade_ = false;
  TestJobWindow window;
  IndexJob job{window};
};

TEST_F(AnalysisJobs, IndexMatchesTheProberFrameByFrame) {
  RunIndexJob(programDir_, clip_, false);
  const IndexContents index = ReadIndex(directory_ + "/clip.INDX");
  const std::vector<std::string> probed = ProbedVideoFrames(clip_);
  ASSERT_EQ(probed.size(), 75u);
  EXPECT_EQ(index.frames, probed);
  EXPECT_EQ(index.header.frameCount, 75);
  EXPECT_NEAR(index.header.frameRate, 25.0f, 0.001f);
  EXPECT_NEAR(index.header.totalDuration, 3.0, 0.001);
  EXPECT_EQ(index.header.width, 64);
  EXPECT_EQ(index.header.height, 48);
  EXPECT_STREQ(index.header.pixelFormat, "yuv420p");
  EXPECT_EQ(index.header.mediaType, 'v');
  EXPECT_EQ(index.header.aspectNumerator, 1);
  EXPECT_EQ(index.header.aspectDenominator, 1);
  const std::string log = window.jobLog();
  EXPECT_NE(log.find("##### START INDEXING ######"), std::string::npos) << log;
  EXPECT_NE(log.find("GOP SIZE: 8"), std::string::npos) << log;  // an index prints it too
  EXPECT_NE(log.find("##### END INDEXING ######"), std::string::npos) << log;
  EXPECT_EQ(window.enableCalls, std::vector<bool>{true});
  EXPECT_EQ(window.host.progress(), 100);
}

TEST_F(AnalysisJobs, GopJobStopsOnceTheGopIsKnown) {
  ASSERT_TRUE(MakeClip(longClip_, 120));  // 3000 frames
  RunIndexJob(programDir_, longClip_, true);
  const std::string log = window.jobLog();
  const auto start = log.find("##### GET FILE GOP ######");
  const auto pattern = log.find("GOP: IPPPPPPPI\r\n");
  const auto size = log.find("GOP SIZE: 8\r\n");
  const auto end = log.find("##### END FILE GOP ######");
  EXPECT_TRUE(start < pattern && pattern < size && size < end && end != std::string::npos) << log;
  EXPECT_EQ(log.find("ERROR"), std::string::npos) << log;
  // The stop came long before the 3000 frames of the clip were all parsed.
  const IndexContents partial = ReadIndex(directory_ + "/long.TMP");
  EXPECT_GE(partial.header.frameCount, 9);
  EXPECT_LT(partial.header.frameCount, 1500);
  EXPECT_EQ(partial.frames.size(), static_cast<std::size_t>(partial.header.frameCount));
}

TEST_F(AnalysisJobs, MissingProberGivesTheCreationError) {
  const std::string empty = directory_ + "/no-tools";
  fs::create_directories(empty);
  RunIndexJob(empty, clip_, false);
  const std::string log = window.jobLog();
  EXPECT_NE(log.find("##### CREATION INDEX ERROR ######"), std::string::npos) << log;
  EXPECT_EQ(log.find("START INDEXING"), std::string::npos) << log;
  EXPECT_EQ(ReadAll(directory_ + "/clip.INDX"), std::string(168, '\0'));
}

TEST_F(AnalysisJobs, MediaInfoShowsTheInputDescription) {
  MediaInfoJob info(window);
  info.Prepare();
  const auto runner = process::StartJob(MediaInfoCommandLine(programDir_, clip_),
                                        MediaInfoJob::kNotifications, &info);
  ASSERT_TRUE(window.host.pumpUntil([&] { return runner->state() == process::kRunnerEnded; }));
  runner->Close();
  const std::string log = window.jobLog();
  const auto start = log.find("##### MEDIA INFO START ######");
  const auto input = log.find("Input #0");
  const auto duration = log.find("Duration: 00:00:03.00");
  const auto stream = log.find("Video: h264");
  const auto end = log.find("##### MEDIA INFO END ######");
  EXPECT_TRUE(start < input && input < duration && duration < stream && stream < end &&
              end != std::string::npos)
      << log;
  EXPECT_EQ(log.find("At least one"), std::string::npos) << log;
  EXPECT_EQ(log.find("ffmpeg version"), std::string::npos) << log;
  EXPECT_EQ(window.figures.durationMs.load(), 3000);
}

TEST_F(AnalysisJobs, FrameGrabWritesAPictureOfTheClipSize) {
  const auto picture = PicturePathFor(clip_, FrameSeconds("1.5"));
  ASSERT_EQ(picture, directory_ + "/clip_1_50.BMP");
  ASSERT_EQ(GrabFrameRefusal(clip_, *picture), "");
  ProcessRunner runner;
  runner.SetCommandLine(GrabFrameCommandLine(programDir_, clip_, 1.5f, false, *picture).c_str());
  EXPECT_EQ(runner.Start(), 0);
  ASSERT_TRUE(window.host.pumpUntil([&] { return runner.state() == process::kRunnerEnded; }));
  runner.Close();
  const std::string bmp = ReadAll(*picture);
  ASSERT_GE(bmp.size(), 26u);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  std::int32_t width, height;
  std::memcpy(&width, bmp.data() + 18, 4);
  std::memcpy(&height, bmp.data() + 22, 4);
  EXPECT_EQ(width, 64);
  EXPECT_EQ(std::abs(height), 48);
}

}  // namespace
}  // namespace vexlo::analysis
