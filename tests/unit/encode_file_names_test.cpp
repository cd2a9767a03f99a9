#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "encode/AudioExtraction.h"
#include "encode/PngPattern.h"

namespace vexlo::encode {
namespace {

TEST(EncodeFileNames, PngPatternRows) {
  struct Row {
    std::string source;
    std::optional<PngPattern> expected;  // nullopt: no job
  };
  const Row rows[] = {
      {"/seq/img_0001.png", PngPattern{"/seq/img_%04d.png", "0001"}},
      {"/seq/img0123.PNG", PngPattern{"/seq/img%04d.png", "0123"}},
      {"/seq/shot-12.png", PngPattern{"/seq/shot-%02d.png", "12"}},
      {"/seq/1234.png", PngPattern{"/seq/%04d.png", "1234"}},
      {"/seq/img_0001.png.bak", PngPattern{"/seq/img_%04d.png", "0001"}},
      {"/seq/abc.png", PngPattern{"/seq/abc%00d.png", ""}},
      {"/my.png.dir/img_0001.png", PngPattern{"/my%00d.png", ""}},
      {"99.png", std::nullopt},
      {"/seq/v1_0001.png", PngPattern{"/seq/v1_%04d.png", "0001"}},
      {"/Seq/Img_0007.pNg", PngPattern{"/Seq/Img_%04d.png", "0007"}},
      {"/seq/f_000000000042.png", PngPattern{"/seq/f_%012d.png", "000000000042"}},
      {"ab.png", PngPattern{"ab%00d.png", ""}},
      {"a1.png", std::nullopt},
      {"123.png", std::nullopt},
      {".png", std::nullopt},
      {"", std::nullopt},
      {"/seq/clip.mov", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.source);
    const auto png = DerivePngPattern(row.source);
    ASSERT_EQ(png.has_value(), row.expected.has_value());
    if (!png) continue;
    EXPECT_EQ(png->pattern, row.expected->pattern);
    EXPECT_EQ(png->startNumber, row.expected->startNumber);
  }
}

TEST(EncodeFileNames, WavNameRows) {
  const std::pair<std::string, std::string> rows[] = {
      {"/out/song.wav", "/out/song.WAV"},
      {"/out/x.mp3", "/out/x.WAV"},
      {"/out/VIDEO.H264", "/out/AUDIO.WAV"},
      {"/out/myVIDEO.H264.x", "/out/myAUDIO.WAV"},
      {"/out/video.h264", "/out/video.WAV"},
      {"/out/a.b.x", "/out/a.b.WAV"},
      {"/out/noext", "/out/noext.WAV"},
      {"/o.ut/noext", "/o.ut/noext.WAV"},
      {"/a/VIDEO.H264/VIDEO.H264", "/a/VIDEO.H264/AUDIO.WAV"},
      {"", ""},
  };
  for (const auto& [destination, wav] : rows) {
    EXPECT_EQ(DeriveWavName(destination), wav) << destination;
  }
}

}  // namespace
}  // namespace vexlo::encode
