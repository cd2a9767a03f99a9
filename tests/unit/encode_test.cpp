#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "encode/AudioExtraction.h"
#include "encode/EncodeRequest.h"
#include "encode/PngEncodes.h"
#include "encode/PngPattern.h"
#include "encode/TestEncode.h"
#include "encode/VideoEncodes.h"
#include "process/LogTexts.h"
#include "tests/support/Support.h"

namespace vexlo::encode {
namespace {

namespace fs = std::filesystem;
using process::text::UnusablePath;
const std::string kDir = testing::Native("/opt/vexlo");
const std::string kSame(process::text::kSameFile), kNoFps(kPngFrameRateMissing);

std::string Build(const std::string& builder, const EncoderSettings& s) {
  const PngPattern png{testing::Native("/seq/img_%04d.png"), "0001"};
  if (builder == "H264") return EncodeH264(s, kDir, "SRC", "DST");
  if (builder == "H265") return EncodeH265(s, kDir, "SRC", "DST");
  if (builder == "MPV") return EncodeMpv(s, kDir, "SRC", "DST");
  if (builder == "PNG-H264") return EncodePngH264(s, kDir, png, "DST");
  if (builder == "PNG-H265") return EncodePngH265(s, kDir, png, "DST");
  if (builder == "PNG-MPV") return EncodePngMpv(s, kDir, png, "DST");
  if (builder == "WAV") return ExtractWav(kDir, "SRC", "DST");
  if (builder == "TEST") return TestEncodeMjpeg(kDir, "SRC", "DST", s.useReport);
  return "unknown builder " + builder;
}

TEST(EncodeCommandLines, EveryRowOfTheTable) {
  const auto rows = testing::TableRows("command_lines.txt");
  ASSERT_GE(rows.size(), 46u);
  for (const auto& row : rows) {
    ASSERT_EQ(row.size(), 3u);
#ifdef _WIN32
    if (row[1].find("vaapi") != std::string::npos) continue;  // a Linux route with a Linux path
#endif
    EXPECT_EQ(Build(row[0], testing::ParseSettings(row[1])), row[2]) << row[0] << " " << row[1];
  }
}

struct PlanRow {
  int kind;  // 0 video, 1 audio, 2 audio in automatic mode, 3 test encode
  EncoderSettings settings;
  EncodePaths paths;
  bool start;
  std::string error;
  int saves;
  std::string line;     // the builder's line it must start
  std::string deleted;  // the file deleted before the start
};

TEST(EncodePlan, Requests) {
  const EncoderSettings f25{.fps = 7};
  const PngPattern seq{"/seq/img_%04d.png", "0001"};
  const std::string song = ExtractWav(kDir, "/in/clip.mov", "/out/song.WAV");
  // clang-format off
  const PlanRow rows[] = {
      {0, {}, {"/in/a.mov", "/in/a.mov", ""}, false, kSame, 0, "", ""},
      {0, {}, {"", "", ""}, false, kSame, 0, "", ""},
      {0, {}, {"/in/a.mov", "/in/A.mov", ""}, true, "", 2, EncodeH264({}, kDir, "/in/a.mov", "/in/A.mov"), ""},
      {0, {.outType = 1}, {"/a.mov", "/o", ""}, true, "", 2, EncodeH265({}, kDir, "/a.mov", "/o"), ""},
      {0, {.outType = -1}, {"/a.mov", "/o", ""}, true, "", 2, EncodeMpv({}, kDir, "/a.mov", "/o"), ""},
      {0, {}, {"/seq/img_0001.png", "/o", ""}, false, kNoFps, 1, "", ""},
      {0, {.fps = -1}, {"/seq/img_0001.PNG", "/o", ""}, false, kNoFps, 1, "", ""},
      {0, f25, {"/99.png", "/o.H264", ""}, false, std::string(kPngFrameNumberMissing), 2, "", ""},
      {0, f25, {"/seq/img_0001.png", "/o", ""}, true, "", 2, EncodePngH264(f25, kDir, seq, "/o"), ""},
      {0, {.outType = 1, .fps = 7}, {"/seq/img_0001.Png", "/o", ""}, true, "", 2, EncodePngH265(f25, kDir, seq, "/o"), ""},
      {0, {.outType = 2, .fps = 7}, {"/seq/img_0001.png", "/o", ""}, true, "", 2, EncodePngMpv(f25, kDir, seq, "/o"), ""},
      {0, f25, {"/x.png.d/clip.mov", "/o", ""}, true, "", 2, EncodePngH264(f25, kDir, {"/x%00d.png", ""}, "/o"), ""},
      {0, {}, {"-i.mov", "/o.H264", ""}, false, UnusablePath("-i.mov"), 0, "", ""},
      {0, {}, {"/in/a.mov", "/o\".H264", ""}, false, UnusablePath("/o\".H264"), 0, "", ""},
      {1, {}, {"/in/clip.mov", "", "/out/song.wav"}, true, "", 2, song, "/out/song.WAV"},
      {2, {}, {"/in/clip.mov", "", "/out/song.wav"}, true, "", 1, song, "/out/song.WAV"},
      {1, {}, {"/s/i_0001.png", "", "/o/a.wav"}, true, "", 2, ExtractWav(kDir, "/s/i_0001.png", "/o/a.WAV"), "/o/a.WAV"},
      {1, {}, {"/in/a.mov", "", "/in/a.mov"}, false, kSame, 0, "", ""},
      {1, {}, {"/in/a.WAV", "", "/in/a.mp3"}, false, kSame, 0, "", ""},
      {1, {}, {"/in/a.mov", "", "-y.wav"}, false, UnusablePath("-y.wav"), 0, "", ""},
      {3, {.useReport = true}, {"/a.mov", "/o.avi", ""}, true, "", 0, TestEncodeMjpeg(kDir, "/a.mov", "/o.avi", true), ""},
      {3, {}, {"/in/a.mov", "/in/a.mov", ""}, false, kSame, 0, "", ""},
      {3, {}, {"/in/a.mov", "-o.avi", ""}, false, UnusablePath("-o.avi"), 0, "", ""},
  };
  // clang-format on
  for (const PlanRow& row : rows) {
    SCOPED_TRACE(row.paths.source + " " + row.paths.videoDestination + row.paths.audioDestination);
    const EncodePlan plan = row.kind == 0 ? PlanVideoEncode(row.settings, row.paths, kDir)
                            : row.kind == 3
                                ? PlanTestEncode(row.settings, row.paths, kDir)
                                : PlanAudioEncode({.outType = 1}, row.paths, kDir, row.kind == 2);
    EXPECT_EQ(plan.start, row.start);
    EXPECT_EQ(plan.errorLine, row.error);
    EXPECT_EQ(plan.settingsSaves, row.saves);
    EXPECT_EQ(plan.commandLine, row.line);
    EXPECT_EQ(plan.deleteBeforeStart, row.deleted);
  }
}

// Another spelling of an existing source (a "./" step, a symbolic link) is still the source:
// no request may overwrite or delete it.
TEST(EncodePlan, AnotherSpellingOfTheSourceIsRefused) {
  const fs::path dir = testing::MakeTempDirectory("spelling");
  const std::string source = (dir / "clip.WAV").string(),
                    dotted = (dir / "." / "clip.WAV").string(), link = (dir / "link.WAV").string();
  std::ofstream(source) << "RIFF";
  testing::MakeLink(source, link);
  for (const EncodePlan& plan :
       {PlanVideoEncode({}, {source, dotted, ""}, kDir),
        PlanVideoEncode({}, {source, link, ""}, kDir),
        PlanAudioEncode({}, {source, "", (dir / "." / "clip.mp3").string()}, kDir, false),
        PlanAudioEncode({}, {link, "", source}, kDir, false),
        PlanTestEncode({}, {source, dotted, ""}, kDir)}) {
    EXPECT_FALSE(plan.start);
    EXPECT_EQ(plan.errorLine, kSame);
    EXPECT_EQ(plan.deleteBeforeStart, "");
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace vexlo::encode
