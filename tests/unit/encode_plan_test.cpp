#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "encode/AudioExtraction.h"
#include "encode/EncodeRequest.h"
#include "encode/PngEncodes.h"
#include "encode/TestEncode.h"
#include "encode/VideoEncodes.h"
#include "process/LogTexts.h"

namespace vexlo::encode {
namespace {

namespace fs = std::filesystem;
using process::text::kSameFile;
using process::text::UnusablePath;

constexpr std::string_view kDir = "/opt/vexlo";

struct Expected {
  bool start;
  std::string errorLine;
  int saves;
  std::string commandLine;
};

void ExpectPlan(const EncodePlan& plan, const Expected& expected) {
  EXPECT_EQ(plan.start, expected.start);
  EXPECT_EQ(plan.errorLine, expected.errorLine);
  EXPECT_EQ(plan.settingsSaves, expected.saves);
  EXPECT_EQ(plan.commandLine, expected.commandLine);
}

TEST(EncodePlan, VideoRequests) {
  struct Row {
    const char* name;
    EncoderSettings settings;
    EncodePaths paths;
    Expected expected;
  };
  const EncoderSettings fps25{.fps = 7};
  const PngPattern seq{"/seq/img_%04d.png", "0001"};
  const Row rows[] = {
      {"same text", {}, {"/in/a.mov", "/in/a.mov", ""}, {false, std::string(kSameFile), 0, ""}},
      {"both empty", {}, {"", "", ""}, {false, std::string(kSameFile), 0, ""}},
      {"letter case differs: H.264",
       {},
       {"/in/a.mov", "/in/A.mov", ""},
       {true, "", 2, EncodeH264({}, kDir, "/in/a.mov", "/in/A.mov")}},
      {"H.265",
       {.outType = 1},
       {"/in/a.mov", "/o.H265", ""},
       {true, "", 2, EncodeH265({.outType = 1}, kDir, "/in/a.mov", "/o.H265")}},
      {"any other type is MPV",
       {.outType = -1},
       {"/in/a.mov", "/o.MPV", ""},
       {true, "", 2, EncodeMpv({.outType = -1}, kDir, "/in/a.mov", "/o.MPV")}},
      {"PNG without frame rate",
       {},
       {"/seq/img_0001.png", "/o.H264", ""},
       {false, std::string(kPngFrameRateMissing), 1, ""}},
      {"PNG with the list at no selection",
       {.fps = -1},
       {"/seq/img_0001.PNG", "/o", ""},
       {false, std::string(kPngFrameRateMissing), 1, ""}},
      {"PNG without a usable number", fps25, {"/99.png", "/o.H264", ""}, {false, "", 2, ""}},
      {"PNG to H.264",
       fps25,
       {"/seq/img_0001.png", "/o.H264", ""},
       {true, "", 2, EncodePngH264(fps25, kDir, seq, "/o.H264")}},
      {"PNG to H.265",
       {.outType = 1, .fps = 7},
       {"/seq/img_0001.Png", "/o.H265", ""},
       {true, "", 2, EncodePngH265({.outType = 1, .fps = 7}, kDir, seq, "/o.H265")}},
      {"PNG to MPV",
       {.outType = 2, .fps = 7},
       {"/seq/img_0001.png", "/o.MPV", ""},
       {true, "", 2, EncodePngMpv({.outType = 2, .fps = 7}, kDir, seq, "/o.MPV")}},
      {"PNG in a folder name",
       fps25,
       {"/x.png.d/clip.mov", "/o.H264", ""},
       {true, "", 2, EncodePngH264(fps25, kDir, {"/x%00d.png", ""}, "/o.H264")}},
      {"source with a leading dash",
       {},
       {"-i.mov", "/o.H264", ""},
       {false, UnusablePath("-i.mov"), 0, ""}},
      {"destination with a quote",
       {},
       {"/in/a.mov", "/o\".H264", ""},
       {false, UnusablePath("/o\".H264"), 0, ""}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const EncodePlan plan = PlanVideoEncode(row.settings, row.paths, kDir);
    ExpectPlan(plan, row.expected);
    EXPECT_EQ(plan.deleteBeforeStart, "");
  }
}

TEST(EncodePlan, AudioRequests) {
  struct Row {
    const char* name;
    EncodePaths paths;
    bool automatic;
    Expected expected;
    std::string deleted;
  };
  const std::string songLine = ExtractWav(kDir, "/in/clip.mov", "/out/song.WAV");
  const Row rows[] = {
      {"extraction",
       {"/in/clip.mov", "", "/out/song.wav"},
       false,
       {true, "", 2, songLine},
       "/out/song.WAV"},
      {"automatic mode saves once",
       {"/in/clip.mov", "", "/out/song.wav"},
       true,
       {true, "", 1, songLine},
       "/out/song.WAV"},
      {"no PNG test",
       {"/s/i_0001.png", "", "/o/a.wav"},
       false,
       {true, "", 2, ExtractWav(kDir, "/s/i_0001.png", "/o/a.WAV")},
       "/o/a.WAV"},
      {"same text",
       {"/in/a.mov", "", "/in/a.mov"},
       false,
       {false, std::string(kSameFile), 0, ""},
       ""},
      {"WAV name is the source",
       {"/in/a.WAV", "", "/in/a.mp3"},
       false,
       {false, std::string(kSameFile), 0, ""},
       ""},
      {"destination with a leading dash",
       {"/in/a.mov", "", "-y.wav"},
       false,
       {false, UnusablePath("-y.wav"), 0, ""},
       ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const EncodePlan plan = PlanAudioEncode({.outType = 1}, row.paths, kDir, row.automatic);
    ExpectPlan(plan, row.expected);
    EXPECT_EQ(plan.deleteBeforeStart, row.deleted);
  }
}

TEST(EncodePlan, TestEncodeRequests) {
  ExpectPlan(PlanTestEncode({.useReport = true}, {"/in/a.mov", "/o.avi", ""}, kDir),
             {true, "", 0, TestEncodeMjpeg(kDir, "/in/a.mov", "/o.avi", true)});
  ExpectPlan(PlanTestEncode({}, {"/in/a.mov", "/in/a.mov", ""}, kDir),
             {false, std::string(kSameFile), 0, ""});
  ExpectPlan(PlanTestEncode({}, {"/in/a.mov", "-o.avi", ""}, kDir),
             {false, UnusablePath("-o.avi"), 0, ""});
}

// Another spelling of an existing source (a "./" step, a symbolic link) is still the source:
// no request may overwrite or delete it.
TEST(EncodePlan, AnotherSpellingOfTheSourceIsRefused) {
  const fs::path dir = fs::path(::testing::TempDir()) / "encode_plan_spelling";
  fs::create_directories(dir);
  const std::string source = (dir / "clip.WAV").string();
  std::ofstream(source) << "RIFF";
  const std::string dotted = (dir / "." / "clip.WAV").string();
  const std::string link = (dir / "link.WAV").string();
  fs::remove(link);
  fs::create_symlink(source, link);

  const EncodePlan refused[] = {
      PlanVideoEncode({}, {source, dotted, ""}, kDir),
      PlanVideoEncode({}, {source, link, ""}, kDir),
      PlanAudioEncode({}, {source, "", (dir / "." / "clip.mp3").string()}, kDir, false),
      PlanAudioEncode({}, {link, "", source}, kDir, false),
      PlanTestEncode({}, {source, dotted, ""}, kDir),
  };
  for (const EncodePlan& plan : refused) {
    ExpectPlan(plan, {false, std::string(kSameFile), 0, ""});
    EXPECT_EQ(plan.deleteBeforeStart, "");
  }
  EXPECT_TRUE(fs::exists(source));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace vexlo::encode
