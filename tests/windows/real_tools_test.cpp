// The window's analysis buttons and a cancelled encode with real Windows builds of FFmpeg's tools
// (ffmpeg.exe of 2018 and ffprobe.exe of 2023 as ffmpeg.bin and ffprobe.bin), under Wine.
// tests/windows/real_tools.sh installs the tools in VEXLO_REAL_TOOLS and makes the clips in
// VEXLO_REAL_CLIPS with Debian's ffmpeg: clip.mp4 (3 s, 64x48 at 25 frames/s, a GOP of 8 without
// B-frames, a sine as audio), long.mp4 (60 s of the same picture) and linux\clip.INDX, the index
// that the Linux build wrote of the same clip with Debian's ffprobe.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h:
#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <tuple>

#include "analysis/IndexFile.h"
#include "res/ControlIds.h"
#include "tests/support/WindowJobs.h"

namespace vexlo::app {
namespace {

namespace id = res::id;

// How many processes of this Wine prefix run a program of this name.
int Running(const char* name) {
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL on = ::Process32First(snapshot, &entry); on; on = ::Process32Next(snapshot, &entry))
    count += _stricmp(entry.szExeFile, name) == 0;
  ::CloseHandle(snapshot);
  return count;
}

// The window's tools are the real ones; the clips are in clips_.
class RealTools : public testing::WindowJobs {
 protected:
  void SetUp() override {
    const char *tools = std::getenv("VEXLO_REAL_TOOLS"), *clips = std::getenv("VEXLO_REAL_CLIPS");
    ASSERT_TRUE(tools && clips) << "run by tests/windows/real_tools.sh";
    std::tie(program_, clips_) = std::tuple(tools, clips);
  }
  std::string clips_;
};

// Index, GOP, media information and frame grab, each through its button: the index has the bytes
// the Linux build wrote, the GOP is measured, the information describes the clip, the grab is a
// BMP of the clip's size; no job logs an error or a reason.
TEST_F(RealTools, AnalysisButtonsGiveWhatTheLinuxBuildGives) {
  const std::string clip = clips_ + "\\clip.mp4";
  Open(clip);  // the Index button indexes the destination
  ASSERT_TRUE(RunJob(id::kIndex, "##### END INDEXING ######")) << Log();
  EXPECT_EQ(host_.progress(), 100);
  const std::string index = testing::ReadAll(clips_ + "\\clip.INDX"),
                    linux = testing::ReadAll(clips_ + "\\linux\\clip.INDX");
  // Every field (header and records) as the Linux build wrote it with Debian's ffprobe 5.1.
  EXPECT_EQ(index.size(), sizeof(analysis::IndexHeader) + 75 * sizeof(analysis::FrameRecord));
  EXPECT_TRUE(index == linux)
      << "differs from byte "
      << std::mismatch(index.begin(), index.end(), linux.begin(), linux.end()).first -
             index.begin();
  ASSERT_TRUE(RunJob(id::kGopSource, "##### END FILE GOP ######")) << Log();
  EXPECT_NE(Log().find("GOP: IPPPPPPPI\r\n[30] # GOP SIZE: 8\r\n"), std::string::npos) << Log();
  Press(id::kInfoSource);
  ASSERT_TRUE(WaitForLog("##### MEDIA INFO END ######")) << Log();
  const std::string info = Log();
  for (const char* line :
       {"Input #0", "Duration: 00:00:03.0", "Video: h264", "64x48", "Audio: aac"}) {
    EXPECT_NE(info.find(line, info.find("MEDIA INFO START")), std::string::npos) << line << info;
  }
  host_.setText(id::kFrameTimeEdit, "1.5");
  ASSERT_TRUE(RunJob(id::kFrame)) << Log();
  for (const char* word : {"ERROR", "REASON"})
    EXPECT_EQ(Log().find(word), std::string::npos) << Log();
  EXPECT_EQ(BitmapSize(clips_ + "\\clip_1_50.BMP"), "BM64x48");
}

// Cancel while the real ffmpeg.exe encodes (H.265 at 1280x720, which takes minutes under Wine):
// the job ends as cancelled, the bar at 0, and no ffmpeg.bin is left running in the prefix.
TEST_F(RealTools, CancelDuringARealEncodeLeavesNoToolRunning) {
  const std::string output = clips_ + "\\long.H265";
  MainWindow& w = Open(clips_ + "\\long.mp4", output);
  host_.setChecked(id::kRadioH264, false);
  host_.setChecked(id::kRadioH265, true);
  host_.setListIndex(id::kResizeList, 8);
  host_.active = false;  // so that the job's end is told as a notification, with its outcome
  Press(id::kEncodeVideo);
  ASSERT_TRUE(host_.pumpUntil([&] { return host_.progress() > 0; }, std::chrono::minutes(3)))
      << Log();
  EXPECT_EQ(Running("ffmpeg.bin"), 1);
  Press(id::kCancel);
  EXPECT_TRUE(host_.pumpUntil([&] { return !host_.notifications.empty(); })) << Log();
  EXPECT_EQ(host_.notifications, std::vector<std::string>{"Vexlo: job cancelled: " + output});
  EXPECT_NE(Log().find("##### STOP CURRENT CONVERSION..... ######"), std::string::npos) << Log();
  EXPECT_EQ(host_.progress(), 0);
  EXPECT_TRUE(w.controlsEnabled());
  EXPECT_EQ(Running("ffmpeg.bin") + Running("ffmpeg.exe"), 0);
}

}  // namespace
}  // namespace vexlo::app
