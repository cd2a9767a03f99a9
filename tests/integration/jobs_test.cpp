// The window's jobs end to end: the window's logic over the fake host runs the real ffmpeg and
// ffprobe (or a stand-in ffmpeg.bin that stays busy) on the clips of the clips fixture.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "analysis/IndexFile.h"
#include "analysis/IndexJob.h"
#include "analysis/IndexNaming.h"
#include "app/RegistryStore.h"
#include "app/VexloDlg.h"
#include "process/ProcessRunner.h"
#include "process/ToolCommand.h"
#include "res/ControlIds.h"
#include "tests/support/FakeDialogHost.h"
#include "tests/support/Support.h"
#include "tests/support/TestJobWindow.h"

namespace vexlo::app {
namespace {

namespace fs = std::filesystem;
namespace id = res::id;
using testing::Clip;

// "key=value" pairs of one stream (and the format when asked), in ffprobe's order.
std::string Probe(const std::string& file, const std::string& stream, const std::string& entries) {
  std::string out = testing::Capture(
      "\"" VEXLO_FFPROBE_PATH "\" -v error -count_frames -select_streams " + stream +
      " -show_entries " + entries + " -of default=noprint_wrappers=1 \"" + file + "\"");
  std::replace(out.begin(), out.end(), '\n', ' ');
  return out;
}

class Jobs : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_symlink(VEXLO_FFPROBE_PATH, program_ + "/ffprobe.bin");
    fs::create_symlink(VEXLO_FFMPEG_PATH, program_ + "/ffmpeg.bin");
  }
  void TearDown() override {
    if (window_) window_->onDestroy();
    window_.reset();
    fs::current_path(program_);
  }
  // A conversion that runs until it is stopped, and leaves its process id behind.
  void UseBusyFfmpeg() {
    fs::remove(program_ + "/ffmpeg.bin");
    std::ofstream(program_ + "/ffmpeg.bin") << "#!/bin/sh\necho $$ > tool.pid\nexec sleep 60\n";
    fs::permissions(program_ + "/ffmpeg.bin", fs::perms::owner_all);
  }
  CVexloDlg& Open(const std::string& source) {
    store_.WriteString(kSettingsKey, "FileOrigine", source);
    store_.WriteString(kSettingsKey, "FileDestinazione", source);
    window_ = std::make_unique<CVexloDlg>(host_, store_, program_);
    window_->onInitDialog();
    host_.runPosted();
    return *window_;
  }
  void Press(int control) {
    window_->onCommand(control, platform::ControlEvent::kClicked);
    host_.runPosted();
  }
  std::string Log() {
    window_->flushLog();
    host_.runPosted();
    return window_->logReference()->paneText();
  }
  bool WaitForLog(const std::string& line) {
    return host_.pumpUntil([&] { return Log().find(line) != std::string::npos; });
  }
  // Presses a button and waits until the job's end line is in the log, the controls are enabled
  // again and the bar stands at 100 (the finished notification posts the last two).
  bool RunJob(int button) {
    window_->onCommand(button, platform::ControlEvent::kClicked);
    return host_.pumpUntil(
        [&] {
          return Log().find("##### END CONVERSION ######") != std::string::npos &&
                 window_->controlsEnabled() && host_.progress() == 100;
        },
        std::chrono::minutes(3));
  }

  testing::ConfigHome config_;
  std::string program_ = testing::MakeTempDirectory("jobs");
  testing::FakeDialogHost host_;
  RegistryStore store_;
  std::unique_ptr<CVexloDlg> window_;
};

TEST_F(Jobs, EachEncodeWritesWhatItPromises) {
  const std::string video = "stream=codec_name,nb_read_frames", mp4 = video + ":format=format_name",
                    mov = " format_name=mov,mp4,m4a,3gp,3g2,mj2 ";
  const std::tuple<int, int, std::string, int, std::string, std::string> rows[] = {
      // button, output type, source, "Force FPS" position, what ffprobe says, filters...
      {id::kEncodeVideo, 0, "clip.mp4", 0, "codec_name=h264 nb_read_frames=75 ", ""},
      {id::kEncodeVideo, 1, "clip.mp4", 0, "codec_name=hevc nb_read_frames=75 ", ""},
      {id::kEncodeVideo, 2, "clip.mp4", 0, "codec_name=hevc nb_read_frames=75" + mov, ""},
      {id::kEncodeAudio, 0, "clip.mp4", 0, "codec_name=pcm_s16le sample_rate=48000 ", ""},
      {id::kEncodeVideo, 0, "seq/img_0001.png", 7, "codec_name=h264 nb_read_frames=10 ", ""},
      {id::kEncodeVideo, 1, "seq/img_0001.png", 7, "codec_name=hevc nb_read_frames=10 ", ""},
      {id::kEncodeVideo, 2, "seq/img_0001.png", 7, "codec_name=hevc nb_read_frames=10" + mov, ""},
      {id::kTestEncode, 0, "clip.mp4", 0, "codec_name=mjpeg nb_read_frames=75 ", ""},
      // frame rate 23.98, deinterlace and resize to 320x240 all take effect through one chain
      {id::kEncodeVideo, 0, "clip.mp4", 5,
       "codec_name=h264 width=320 height=240 nb_read_frames=72 ", "filters"},
      {id::kEncodeVideo, 0, "garbage.mov", 0, "", ""}};
  int n = 0;
  for (const auto& [button, outType, source, fps, probed, filters] : rows) {
    SCOPED_TRACE(source + " " + probed);
    TearDown();
    const char* extensions[] = {".H264", ".H265", ".MPV"};  // ffmpeg reads the raw formats' names
    const std::string output = program_ + "/out" + std::to_string(++n) +
                               (button == id::kEncodeAudio  ? ".WAV"
                                : button == id::kTestEncode ? ".avi"
                                                            : extensions[outType]);
    Open(Clip(source));
    const int radios[] = {id::kRadioH264, id::kRadioH265, id::kRadioMpv};
    for (int i = 0; i < 3; ++i) host_.setChecked(radios[i], i == outType);
    host_.setListIndex(id::kFpsList, fps);
    host_.setListIndex(id::kResizeList, filters.empty() ? 0 : 1);
    host_.setChecked(id::kDeinterlaceCheck, !filters.empty());
    host_.setText(button == id::kEncodeAudio ? id::kAudioDestEdit : id::kVideoDestEdit, output);
    ASSERT_TRUE(RunJob(button));
    const std::string log = Log();
    EXPECT_NE(log.find("##### START CONVERSION ######"), std::string::npos) << log;
    if (probed.empty()) {  // an unreadable source ends with the error line before the end line
      EXPECT_LT(log.find("##### CONVERSION  ERROR ######"), log.find("##### END CONVERSION ######"))
          << log;
      continue;
    }
    EXPECT_EQ(log.find("ERROR"), std::string::npos) << log;
    const std::string entries = button == id::kEncodeAudio ? "stream=codec_name,sample_rate"
                                : outType == 2             ? mp4
                                : filters.empty()          ? video
                                                  : "stream=codec_name,width,height,nb_read_frames";
    EXPECT_EQ(Probe(output, button == id::kEncodeAudio ? "a:0" : "v:0", entries), probed);
  }
}

// The index job behind a real ffprobe writes a record per video frame that matches what the
// prober reports frame by frame, and a header that describes the clip.
TEST_F(Jobs, TheIndexMatchesTheProberFrameByFrame) {
  testing::TestJobWindow window;
  ASSERT_TRUE(window.startLogAndWait(program_));
  analysis::IndexJob job(window);
  const std::string index = program_ + "/clip.INDX";
  job.Prepare(index, false);
  auto runner = process::StartJob(analysis::FrameIndexCommandLine(program_, Clip("clip.mp4")),
                                  analysis::IndexJob::kNotifications, &job);
  ASSERT_TRUE(window.host.pumpUntil([&] { return runner->state() == process::kRunnerEnded; }));
  runner->Close();
  std::istringstream probed(
      testing::Capture("\"" VEXLO_FFPROBE_PATH "\" -v error -select_streams v -show_entries "
                       "frame=key_frame,pict_type,pkt_pos,pkt_size -of csv=p=0 \"" +
                       Clip("clip.mp4") + "\""));
  const std::string bytes = testing::ReadAll(index);
  analysis::IndexHeader header;
  ASSERT_GE(bytes.size(), sizeof header);
  std::memcpy(&header, bytes.data(), sizeof header);
  std::size_t at = sizeof header;
  int frames = 0;
  for (std::string line; std::getline(probed, line);) {
    while (!line.empty() && line.back() == ',') line.pop_back();  // "key,position,size,type"
    if (line.empty()) continue;
    analysis::FrameRecord r{};
    ASSERT_LE(at + sizeof r, bytes.size());
    std::memcpy(&r, bytes.data() + at, sizeof r);
    EXPECT_EQ(std::to_string(r.keyFrame) + "," + std::to_string(r.position) + "," +
                  std::to_string(r.size) + "," + r.pictType,
              line);
    ++frames;
    at += sizeof r;
  }
  EXPECT_EQ(at, bytes.size());
  EXPECT_EQ(frames, 75);
  EXPECT_EQ(header.frameCount, 75);
  EXPECT_NEAR(header.frameRate, 25.0f, 0.001f);
  EXPECT_NEAR(header.totalDuration, 3.0, 0.001);
  EXPECT_EQ(std::tuple(header.width, header.height, header.mediaType, header.aspectNumerator,
                       header.aspectDenominator),
            std::tuple(64, 48, 'v', 1, 1));
  EXPECT_STREQ(header.pixelFormat, "yuv420p");
  const std::string log = window.jobLog();
  EXPECT_NE(
      log.find(
          "[30] # ##### START INDEXING ######\r\n[30] # GOP: IPPPPPPPI\r\n[30] # GOP SIZE: 8\r\n"),
      std::string::npos)
      << log;
  EXPECT_NE(log.find("##### END INDEXING ######"), std::string::npos) << log;
  EXPECT_EQ(window.host.progress(), 100);
}

TEST_F(Jobs, GopStopsItsOwnJobOnceTheGopIsKnownAndLeavesAConversionRunning) {
  UseBusyFfmpeg();
  fs::create_symlink(Clip("long.mp4"), program_ + "/long.mp4");  // the .TMP file goes beside it
  CVexloDlg& w = Open(program_ + "/long.mp4");
  host_.setText(id::kVideoDestEdit, program_ + "/out.H264");
  Press(id::kEncodeVideo);
  ASSERT_TRUE(host_.pumpUntil([&] { return fs::exists(program_ + "/tool.pid"); }));
  Press(id::kGopSource);
  ASSERT_TRUE(WaitForLog("##### END FILE GOP ######"));
  ASSERT_TRUE(host_.pumpUntil([&] { return w.indexingRunner() == nullptr; }));
  const std::string log = Log();
  const auto start = log.find("##### GET FILE GOP ######"),
             pattern = log.find("GOP: IPPPPPPPI\r\n"), size = log.find("GOP SIZE: 8\r\n"),
             end = log.find("##### END FILE GOP ######");
  EXPECT_TRUE(start < pattern && pattern < size && size < end) << log;
  EXPECT_EQ(testing::Count(log, "GOP SIZE:"), 1u);
  EXPECT_EQ(log.find("STOP CURRENT INDEXING"), std::string::npos);
  EXPECT_EQ(log.find("ERROR"), std::string::npos) << log;
  // The job stopped long before the end: the .TMP file holds a header and a few records.
  const std::string tmp = program_ + "/long.TMP";
  EXPECT_GE(fs::file_size(tmp), 168u + 9 * 24u);
  EXPECT_LT(fs::file_size(tmp), 168u + 1500 * 24u);
  ASSERT_NE(w.conversionRunner(), nullptr);
  EXPECT_EQ(w.conversionRunner()->state(), process::kRunnerRunning);
  EXPECT_TRUE(host_.enabled(id::kCancel));
  EXPECT_FALSE(host_.enabled(id::kEncodeVideo));
  Press(id::kCancel);
  EXPECT_NE(Log().find("##### STOP CURRENT CONVERSION..... ######"), std::string::npos);
}

TEST_F(Jobs, IndexMediaInfoAndFrameGrabButtons) {
  const std::string clip = program_ + "/short.h264.mp4";  // the index is named at the last dot
  fs::copy_file(Clip("clip.mp4"), clip);
  CVexloDlg& w = Open(clip);
  Press(id::kIndex);
  ASSERT_TRUE(WaitForLog("##### END INDEXING ######"));
  ASSERT_TRUE(
      host_.pumpUntil([&] { return host_.progress() == 100 && host_.enabled(id::kIndex); }));
  EXPECT_EQ(fs::file_size(program_ + "/short.h264.INDX"), 168u + 75 * 24u);
  Press(id::kInfoSource);
  ASSERT_TRUE(WaitForLog("##### MEDIA INFO END ######"));
  std::string log = Log();
  const auto start = log.find("[30] # ##### MEDIA INFO START ######\r\n"),
             input = log.find("[30] # Input #0"), duration = log.find("Duration: 00:00:03.00"),
             stream = log.find("Video: h264"),
             end = log.find("[30] # ##### MEDIA INFO END ######\r\n");
  EXPECT_TRUE(start < input && input < duration && duration < stream && stream < end &&
              end != std::string::npos)
      << log;
  EXPECT_EQ(log.find("At least one"), std::string::npos) << log;
  EXPECT_EQ(log.find("ffmpeg version"), std::string::npos) << log;
  EXPECT_EQ(w.jobFigures().durationMs.load(), 3000);
  host_.setText(id::kFrameTimeEdit, "1.5");
  Press(id::kFrame);
  ASSERT_TRUE(WaitForLog("##### END CONVERSION ######"));
  const std::string bmp = testing::ReadAll(program_ + "/short.h264_1_50.BMP");
  ASSERT_GE(bmp.size(), 26u);
  std::int32_t size[2];
  std::memcpy(size, bmp.data() + 18, sizeof size);
  EXPECT_EQ(bmp.substr(0, 2) + std::to_string(size[0]) + "x" + std::to_string(std::abs(size[1])),
            "BM64x48");
}

TEST_F(Jobs, GetInfoTwiceQuicklyCancelsTheFirstAndAMissingProberIsAnError) {
  UseBusyFfmpeg();
  Open(Clip("clip.mp4"));
  Press(id::kInfoSource);
  ASSERT_TRUE(WaitForLog("##### MEDIA INFO START ######"));
  Press(id::kInfoSource);
  const std::string log = Log();
  const auto first = log.find("##### MEDIA INFO START ######"),
             cancel = log.find("##### CANCEL #####\r\n"),
             firstEnd = log.find("##### MEDIA INFO END ######");
  EXPECT_TRUE(first < cancel && cancel < firstEnd && firstEnd != std::string::npos) << log;
  EXPECT_TRUE(host_.pumpUntil(
      [&] { return testing::Count(Log(), "##### MEDIA INFO START ######\r\n") == 2; }));
  fs::remove(program_ + "/ffprobe.bin");
  Press(id::kIndex);
  ASSERT_TRUE(WaitForLog("##### CREATION INDEX ERROR ######"));
  EXPECT_TRUE(host_.pumpUntil([&] { return host_.enabled(id::kIndex); }));
}

}  // namespace
}  // namespace vexlo::app
