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

#include <cstdlib>
#include <cstring>
#include <set>

#include "analysis/IndexFile.h"
#include "app/RegistryStore.h"
#include "app/VexloDlg.h"
#include "process/TraceControl.h"
#include "res/ControlIds.h"
#include "tests/support/FakeDialogHost.h"
#include "tests/support/Support.h"

namespace vexlo::app {
namespace {

namespace id = res::id;

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// How many processes of this Wine prefix run a program of this name.
int Running(const char* name) {
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = ::Process32First(snapshot, &entry); more; more = ::Process32Next(snapshot, &entry)) {
    count += _stricmp(entry.szExeFile, name) == 0;
  }
  ::CloseHandle(snapshot);
  return count;
}

// The fields in which two index files differ: "header.NAME", "record.NAME" (in any record),
// "length".
std::set<std::string> IndexDifferences(const std::string& a, const std::string& b) {
  struct Field {
    std::size_t at, size;
    const char* name;
  };
  static constexpr Field kHeader[] = {
      {0, 8, "frameCount"}, {8, 8, "totalDuration"}, {16, 4, "frameRate"},
      {20, 4, "frameDuration"}, {24, 1, "interlaced"}, {25, 1, "topFieldFirst"},
      {26, 22, "pixelFormat"}, {48, 4, "width"}, {52, 4, "height"}, {56, 4, "mediaType"},
      {60, 4, "aspectNumerator"}, {64, 4, "aspectDenominator"}, {68, 100, "reserved"}};
  static constexpr Field kRecord[] = {{0, 1, "keyFrame"}, {1, 1, "pictType"},
                                      {2, 6, "reserved1"}, {8, 8, "position"},
                                      {16, 4, "size"},     {20, 4, "reserved2"}};
  std::set<std::string> names;
  if (a.size() != b.size()) names.insert("length");
  const auto compare = [&](std::size_t base, const auto& fields, const char* part) {
    for (const Field& f : fields) {
      if (base + f.at + f.size <= std::min(a.size(), b.size()) &&
          a.compare(base + f.at, f.size, b, base + f.at, f.size) != 0) {
        names.insert(std::string(part) + f.name);
      }
    }
  };
  compare(0, kHeader, "header.");
  for (std::size_t at = sizeof(analysis::IndexHeader); at < std::min(a.size(), b.size());
       at += sizeof(analysis::FrameRecord)) {
    compare(at, kRecord, "record.");
  }
  return names;
}

class RealTools : public ::testing::Test {
 protected:
  void TearDown() override {
    if (window_) window_->onDestroy();
  }
  CVexloDlg& Open(const std::string& source, const std::string& destination) {
    store_.WriteString(kSettingsKey, "FileOrigine", source);
    store_.WriteString(kSettingsKey, "FileDestinazione", destination);
    window_ = std::make_unique<CVexloDlg>(host_, store_, tools_);
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
  // Presses a job button and waits (a real tool under Wine: minutes at most) for its last line.
  std::string RunJob(int button, const std::string& line) {
    Press(button);
    EXPECT_TRUE(host_.pumpUntil(
        [&] { return Log().find(line) != std::string::npos && window_->controlsEnabled(); },
        std::chrono::minutes(3)))
        << line << " in:\n"
        << Log();
    return Log();
  }

  testing::ConfigHome config_;
  const std::string tools_ = Environment("VEXLO_REAL_TOOLS"), clips_ = Environment("VEXLO_REAL_CLIPS");
  testing::FakeDialogHost host_;
  RegistryStore store_;
  std::unique_ptr<CVexloDlg> window_;
};

// Index, GOP, media information and frame grab, each through its button: the index has the bytes
// the Linux build wrote, the GOP is measured, the information describes the clip, the grab is a
// BMP of the clip's size; no job logs an error or a reason.
TEST_F(RealTools, AnalysisButtonsGiveWhatTheLinuxBuildGives) {
  ASSERT_FALSE(tools_.empty() || clips_.empty()) << "run by tests/windows/real_tools.sh";
  const std::string clip = clips_ + "\\clip.mp4";
  Open(clip, clip);  // the Index button indexes the destination
  RunJob(id::kIndex, "##### END INDEXING ######");
  EXPECT_EQ(host_.progress(), 100);
  const std::string index = testing::ReadAll(clips_ + "\\clip.INDX"),
                    linux = testing::ReadAll(clips_ + "\\linux\\clip.INDX");
  EXPECT_EQ(index.size(), sizeof(analysis::IndexHeader) + 75 * sizeof(analysis::FrameRecord));
  EXPECT_EQ(IndexDifferences(index, linux), std::set<std::string>{});
  const std::string gop = RunJob(id::kGopSource, "##### END FILE GOP ######");
  EXPECT_NE(gop.find("GOP: IPPPPPPPI\r\n"), std::string::npos) << gop;
  EXPECT_NE(gop.find("GOP SIZE: 8\r\n"), std::string::npos) << gop;
  Press(id::kInfoSource);
  ASSERT_TRUE(host_.pumpUntil([&] { return Log().find("##### MEDIA INFO END ######") != std::string::npos; },
                              std::chrono::minutes(3)));
  host_.setText(id::kFrameTimeEdit, "1.5");
  const std::string log = RunJob(id::kFrame, "##### END CONVERSION ######");
  for (const char* line : {"Input #0", "Duration: 00:00:03.0", "Video: h264", "64x48",
                           "Audio: aac", "##### MEDIA INFO END ######"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line << " in:\n" << log;
  }
  EXPECT_EQ(log.find("ERROR"), std::string::npos) << log;
  EXPECT_EQ(log.find("REASON"), std::string::npos) << log;
  const std::string bmp = testing::ReadAll(clips_ + "\\clip_1_50.BMP");
  ASSERT_GE(bmp.size(), 26u);
  std::int32_t size[2];
  std::memcpy(size, bmp.data() + 18, sizeof size);
  EXPECT_EQ(bmp.substr(0, 2) + std::to_string(size[0]) + "x" + std::to_string(std::abs(size[1])),
            "BM64x48");
}

// Cancel while the real ffmpeg.exe encodes (H.265 at 1280x720, which takes minutes under Wine):
// the job ends as cancelled, the bar at 0, and no ffmpeg.bin is left running in the prefix.
TEST_F(RealTools, CancelDuringARealEncodeLeavesNoToolRunning) {
  ASSERT_FALSE(tools_.empty() || clips_.empty()) << "run by tests/windows/real_tools.sh";
  const std::string output = clips_ + "\\long.H265";
  CVexloDlg& w = Open(clips_ + "\\long.mp4", output);
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
