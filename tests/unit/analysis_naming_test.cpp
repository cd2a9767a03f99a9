#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "analysis/FrameGrab.h"
#include "analysis/IndexNaming.h"
#include "analysis/MediaInfo.h"
#include "process/LogTexts.h"

namespace vexlo::analysis {
namespace {

TEST(AnalysisNaming, IndexPaths) {
  struct Row {
    const char* naming;
    bool gop;
    std::optional<std::string> expected;
  };
  const std::vector<Row> rows = {
      {"/video/clip.h264", false, "/video/clip.INDX"},
      {"/video/clip.h264", true, "/video/clip.TMP"},
      {"/film.2024/clip", false, "/film.2024/clip.INDX"},  // never a folder's "."
      {"/video/clip", false, "/video/clip.INDX"},  // no "." at all: appended
      {"clip", true, "clip.TMP"},
      {"a.b.c", false, "a.b.INDX"},
      {"", false, std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.naming);
    EXPECT_EQ(IndexPathFor(row.naming, row.gop), row.expected);
  }
}

TEST(AnalysisNaming, PicturePaths) {
  struct Row {
    const char* source;
    float seconds;
    const char* expected;
  };
  const std::vector<Row> rows = {
      {"/video/clip.mp4", 12.5f, "/video/clip_12_50.BMP"},
      {"/video/clip.mp4", 0.0f, "/video/clip_0_00.BMP"},
      {"/video/clip.mp4", 7.0f, "/video/clip_7_00.BMP"},
      {"/video/clip.mp4", 0.004f, "/video/clip_0_00.BMP"},
      {"/video/clip.mp4", -1.0f, "/video/clip_-1_00.BMP"},
      {"/film.2024/clip", 12.5f, "/film.2024/clip_12_50.BMP"},  // never a folder's "."
      {"clip", 12.5f, "clip_12_50.BMP"},              // no "." after the first character
      {".hidden", 1.0f, ".hidden_1_00.BMP"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.source);
    EXPECT_EQ(PicturePathFor(row.source, row.seconds), row.expected);
  }
  EXPECT_EQ(PicturePathFor("", 1.0f), std::nullopt);
}

TEST(AnalysisNaming, FrameSecondsReadsTheLeadingNumber) {
  const std::vector<std::pair<const char*, float>> rows = {
      {"12.5", 12.5f}, {"  7s", 7.0f}, {"-1", -1.0f},  {".25", 0.25f}, {"", 0.0f},
      {"abc", 0.0f},   {"nan", 0.0f},  {"1e99", 0.0f}, {"+3", 3.0f},
  };
  for (const auto& [text, seconds] : rows) {
    SCOPED_TRACE(text);
    EXPECT_EQ(FrameSeconds(text), seconds);
  }
}

TEST(AnalysisNaming, CommandLines) {
  EXPECT_EQ(FrameIndexCommandLine("/opt/vexlo", "/v/a b.mp4"),
            "\"/opt/vexlo/ffprobe.bin\" -show_frames \"/v/a b.mp4\"");
  EXPECT_EQ(MediaInfoCommandLine("/opt/vexlo", "/v/a.mp4"),
            "\"/opt/vexlo/ffmpeg.bin\" -i \"/v/a.mp4\"");
  EXPECT_EQ(GrabFrameCommandLine("/opt/vexlo", "/v/clip.mp4", 12.5f, true, "/v/clip_12_50.BMP"),
            "\"/opt/vexlo/ffmpeg.bin\" -i \"/v/clip.mp4\" -ss 12.50 -vf yadif -t 1 -f image2 "
            "\"/v/clip_12_50.BMP\"");
  EXPECT_EQ(GrabFrameCommandLine("/d", "/v/c.mp4", 0.004f, false, "/v/c_0_00.BMP"),
            "\"/d/ffmpeg.bin\" -i \"/v/c.mp4\" -ss 0.00 -t 1 -f image2 \"/v/c_0_00.BMP\"");
  EXPECT_EQ(GrabFrameCommandLine("/d", "/v/c.mp4", -1.0f, false, "/v/c_-1_00.BMP"),
            "\"/d/ffmpeg.bin\" -i \"/v/c.mp4\" -ss -1.00 -t 1 -f image2 \"/v/c_-1_00.BMP\"");
}

TEST(AnalysisNaming, Refusals) {
  using process::text::UnusablePath;
  const std::string same = std::string(process::text::kSameFile);
  const std::string none = std::string(process::text::kOriginNotSpecified);
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
}

TEST(AnalysisNaming, IndexOfAnotherSpellingOfTheInputIsRefused) {
  // clip (no dot) names clip.INDX: a link called clip.INDX to the input must not be replaced.
  const std::string dir = ::testing::TempDir() + "vexlo_naming_link";
  std::filesystem::create_directories(dir);
  const std::string input = dir + "/clip";
  { std::ofstream(input) << "x"; }
  std::filesystem::remove(dir + "/clip.INDX");
  std::filesystem::create_symlink(input, dir + "/clip.INDX");
  EXPECT_EQ(FrameIndexRefusal(input, IndexPathFor(input, false)), process::text::kSameFile);
}

}  // namespace
}  // namespace vexlo::analysis
