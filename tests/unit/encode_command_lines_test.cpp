#include <climits>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "encode/AudioExtraction.h"
#include "encode/OptionTables.h"
#include "encode/PngEncodes.h"
#include "encode/TestEncode.h"
#include "encode/VideoEncodes.h"

namespace vexlo::encode {
namespace {

constexpr std::string_view kDir = "/opt/vexlo";
const PngPattern kPng{"/seq/img_%04d.png", "0001"};

using Builder = std::function<std::string(const EncoderSettings&)>;

struct Row {
  const char* name;
  Builder build;
  EncoderSettings settings;
  std::string expected;
};

// Builders bound to DIR, SRC/DST or the pattern of /seq/img_0001.png.
const Builder kH264 = [](const EncoderSettings& s) { return EncodeH264(s, kDir, "SRC", "DST"); };
const Builder kH265 = [](const EncoderSettings& s) { return EncodeH265(s, kDir, "SRC", "DST"); };
const Builder kMpv = [](const EncoderSettings& s) { return EncodeMpv(s, kDir, "SRC", "DST"); };
const Builder kPngH264 = [](const EncoderSettings& s) {
  return EncodePngH264(s, kDir, kPng, "DST");
};
const Builder kPngH265 = [](const EncoderSettings& s) {
  return EncodePngH265(s, kDir, kPng, "DST");
};
const Builder kPngMpv = [](const EncoderSettings& s) { return EncodePngMpv(s, kDir, kPng, "DST"); };

void ExpectRows(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.build(row.settings), row.expected);
  }
}

TEST(EncodeCommandLines, H264) {
  ExpectRows({
      {"software, every index 0",
       kH264,
       {},
       R"("/opt/vexlo/ffmpeg.bin" -i "SRC" -an -y -vcodec libx264 -g 64 -preset slow -tune zerolatency -vprofile baseline -pix_fmt yuv420p -crf 3 -map_metadata -1 "DST")"},
      {"NVIDIA",
       kH264,
       {.gpuType = 1},
       R"("/opt/vexlo/ffmpeg.bin" -i "SRC" -an -y -c:v h264_nvenc -g 64 -vprofile baseline -b:v 75M -map_metadata -1 "DST")"},
      {"AMD",
       kH264,
       {.gpuType = 2},
       R"("/opt/vexlo/ffmpeg.bin" -i "SRC" -an -y -c:v h264_amf -g 64 -vprofile baseline -b:v 75M -map_metadata -1 "DST")"},
      {"every option, three filters in one chain",
       kH264,
       {.profile = 1,
        .crf = 5,
        .fps = 5,
        .resize = 3,
        .deinterlace = true,
        .shortGop = true,
        .useReport = true},
       R"("/opt/vexlo/ffmpeg.bin" -report -i "SRC" -an -y -vcodec libx264 -g 8 -preset slow -tune zerolatency -vprofile main -pix_fmt yuv420p -crf 13 -filter:v fps=fps=23.98,yadif,scale=720x486 -r 23.98 -map_metadata -1 -aspect 720:486 "DST")"},
      {"every list without selection",
       kH264,
       {.profile = -1, .crf = -1, .fps = -1, .resize = -1},
       R"("/opt/vexlo/ffmpeg.bin" -i "SRC" -an -y -vcodec libx264 -g 64 -preset slow -tune zerolatency -vprofile high -pix_fmt yuv420p -crf 14 -map_metadata -1 "DST")"},
      {"GPU -1: software encoder, hardware rate form",
       kH264,
       {.gpuType = -1},
       R"("/opt/vexlo/ffmpeg.bin" -i "SRC" -an -y -vcodec libx264 -g 64 -vprofile baseline -b:v 75M -map_metadata -1 "DST")"},
      {"hardware without a bit rate",
       kH264,
       {.gpuType = 2, .profile = 2, .crf = 14},
       R"("/opt/vexlo/ffmpeg.bin" -i "SRC" -an -y -c:v h264_amf -g 64 -vprofile high -map_metadata -1 "DST")"},
      {"preset normal up to 20",
       kH264,
       {.crf = 20},
       R"("/opt/vexlo/ffmpeg.bin" -i "SRC" -an -y -vcodec libx264 -g 64 -preset normal -tune zerolatency -vprofile baseline -pix_fmt yuv420p -crf 14 -map_metadata -1 "DST")"},
      {"preset fast from 21",
       kH264,
       {.crf = 21},
       R"("/opt/vexlo/ffmpeg.bin" -i "SRC" -an -y -vcodec libx264 -g 64 -preset fast -tune zerolatency -vprofile baseline -pix_fmt yuv420p -crf 14 -map_metadata -1 "DST")"},
      {"last CRF position",
       kH264,
       {.crf = 13},
       R"("/opt/vexlo/ffmpeg.bin" -i "SRC" -an -y -vcodec libx264 -g 64 -preset slow -tune zerolatency -vprofile baseline -pix_fmt yuv420p -crf 30 -map_metadata -1 "DST")"},
      {"frame rate alone, as written",
       kH264,
       {.gpuType = 1, .fps = 12},
       R"("/opt/vexlo/ffmpeg.bin" -i "SRC" -an -y -c:v h264_nvenc -g 64 -vprofile baseline -b:v 75M -filter:v fps=fps=60 -r 60 -map_metadata -1 "DST")"},
      {"resize alone keeps its double blank; position 15",
       kH264,
       {.gpuType = 1, .resize = 15},
       R"("/opt/vexlo/ffmpeg.bin" -i "SRC" -an -y -c:v h264_nvenc -g 64 -vprofile baseline -b:v 75M -map_metadata -1 -vf  scale=4096x2160 -aspect 4096:2160 "DST")"},
      {"deinterlace alone",
       kH264,
       {.gpuType = 1, .deinterlace = true},
       R"("/opt/vexlo/ffmpeg.bin" -i "SRC" -an -y -c:v h264_nvenc -g 64 -vprofile baseline -b:v 75M -map_metadata -1 -vf yadif "DST")"},
      {"deinterlace and resize",
       kH264,
       {.gpuType = 1, .resize = 3, .deinterlace = true},
       R"("/opt/vexlo/ffmpeg.bin" -i "SRC" -an -y -c:v h264_nvenc -g 64 -vprofile baseline -b:v 75M -map_metadata -1 -vf yadif,scale=720x486 -aspect 720:486 "DST")"},
      {"frame rate and resize",
       kH264,
       {.gpuType = 1, .fps = 7, .resize = 2},
       R"("/opt/vexlo/ffmpeg.bin" -i "SRC" -an -y -c:v h264_nvenc -g 64 -vprofile baseline -b:v 75M -filter:v fps=fps=25,scale=640x480 -r 25 -map_metadata -1 -aspect 640:480 "DST")"},
      {"frame rate and deinterlace",
       kH264,
       {.gpuType = 1, .fps = 7, .deinterlace = true},
       R"("/opt/vexlo/ffmpeg.bin" -i "SRC" -an -y -c:v h264_nvenc -g 64 -vprofile baseline -b:v 75M -filter:v fps=fps=25,yadif -r 25 -map_metadata -1 "DST")"},
      {"frame rate and resize beyond their lists",
       kH264,
       {.gpuType = 1, .fps = 13, .resize = 16},
       R"("/opt/vexlo/ffmpeg.bin" -i "SRC" -an -y -c:v h264_nvenc -g 64 -vprofile baseline -b:v 75M -map_metadata -1 "DST")"},
  });
}

TEST(EncodeCommandLines, H265AndMpv) {
  ExpectRows({
      {"H.265 software",
       kH265,
       {},
       R"("/opt/vexlo/ffmpeg.bin" -i "SRC" -an -y -vcodec libx265 -vprofile main -pix_fmt yuv420p -crf 3 -g 160 -map_metadata -1 "DST")"},
      {"H.265 NVIDIA",
       kH265,
       {.gpuType = 1},
       R"("/opt/vexlo/ffmpeg.bin" -i "SRC" -an -y -vcodec hevc_nvenc -b:v 60M -g 160 -map_metadata -1 "DST")"},
      {"MPV AMD",
       kMpv,
       {.gpuType = 2},
       R"("/opt/vexlo/ffmpeg.bin" -i "SRC" -an -y -vcodec hevc_amf -b:v 60M -g 160 -map_metadata -1 -f mp4 "DST")"},
      {"MPV every option, one chain",
       kMpv,
       {.gpuType = 1,
        .profile = 1,
        .crf = 5,
        .fps = 5,
        .resize = 3,
        .deinterlace = true,
        .shortGop = true,
        .useReport = true},
       R"("/opt/vexlo/ffmpeg.bin" -report -i "SRC" -an -y -vcodec hevc_nvenc -b:v 24M -g 8 -r 23.98 -map_metadata -1 -vf yadif,scale=720x486 -aspect 720:486 -f mp4 "DST")"},
      {"profile plays no part",
       kH265,
       {.profile = 2},
       R"("/opt/vexlo/ffmpeg.bin" -i "SRC" -an -y -vcodec libx265 -vprofile main -pix_fmt yuv420p -crf 3 -g 160 -map_metadata -1 "DST")"},
      {"GPU -1 takes the software row",
       kH265,
       {.gpuType = -1},
       R"("/opt/vexlo/ffmpeg.bin" -i "SRC" -an -y -vcodec libx265 -vprofile main -pix_fmt yuv420p -crf 3 -g 160 -map_metadata -1 "DST")"},
      {"GPU 3 takes the software row",
       kMpv,
       {.gpuType = 3, .crf = -1},
       R"("/opt/vexlo/ffmpeg.bin" -i "SRC" -an -y -vcodec libx265 -vprofile main -pix_fmt yuv420p -crf 14 -g 160 -map_metadata -1 -f mp4 "DST")"},
      {"hardware without a bit rate",
       kH265,
       {.gpuType = 2, .crf = 14},
       R"("/opt/vexlo/ffmpeg.bin" -i "SRC" -an -y -vcodec hevc_amf -g 160 -map_metadata -1 "DST")"},
      {"plain frame rate, resize alone",
       kH265,
       {.gpuType = 1, .crf = 13, .fps = 12, .resize = 14},
       R"("/opt/vexlo/ffmpeg.bin" -i "SRC" -an -y -vcodec hevc_nvenc -b:v 1M -g 160 -r 60 -map_metadata -1 -vf  scale=3840x2160 -aspect 3840:2160 "DST")"},
      {"no position 15",
       kH265,
       {.resize = 15},
       R"("/opt/vexlo/ffmpeg.bin" -i "SRC" -an -y -vcodec libx265 -vprofile main -pix_fmt yuv420p -crf 3 -g 160 -map_metadata -1 "DST")"},
  });
}

TEST(EncodeCommandLines, PngSequences) {
  ExpectRows({
      {"H.264 software",
       kPngH264,
       {.fps = 7},
       R"("/opt/vexlo/ffmpeg.bin" -f image2 -framerate 25 -pattern_type sequence -start_number 0001 -i "/seq/img_%04d.png" -an -y -vcodec libx264 -preset slow -tune zerolatency -vprofile baseline -crf 3 -pix_fmt yuv420p -map_metadata -1 "DST")"},
      {"H.265 NVIDIA",
       kPngH265,
       {.gpuType = 1, .fps = 7},
       R"("/opt/vexlo/ffmpeg.bin" -framerate 25 -pattern_type sequence -start_number 0001 -i "/seq/img_%04d.png" -an -y -vcodec hevc_nvenc -b:v 60M -pix_fmt yuv420p -map_metadata -1 "DST")"},
      {"MPV software with report",
       kPngMpv,
       {.fps = 7, .useReport = true},
       R"("/opt/vexlo/ffmpeg.bin" -report -f image2 -framerate 25 -pattern_type sequence -start_number 0001 -i "/seq/img_%04d.png" -an -y -vcodec libx265 -vprofile main -crf 3 -pix_fmt yuv420p -map_metadata -1 -f mp4 "DST")"},
      {"H.264 NVIDIA uses h264_nvenc, report keeps image2",
       kPngH264,
       {.gpuType = 1, .fps = 1, .useReport = true},
       R"("/opt/vexlo/ffmpeg.bin" -report -f image2 -framerate 5 -pattern_type sequence -start_number 0001 -i "/seq/img_%04d.png" -an -y -c:v h264_nvenc -vprofile baseline -b:v 75M -pix_fmt yuv420p -map_metadata -1 "DST")"},
      {"H.264 ignores deinterlace and short GOP; no position 15",
       kPngH264,
       {.fps = 7, .resize = 15, .deinterlace = true, .shortGop = true},
       R"("/opt/vexlo/ffmpeg.bin" -f image2 -framerate 25 -pattern_type sequence -start_number 0001 -i "/seq/img_%04d.png" -an -y -vcodec libx264 -preset slow -tune zerolatency -vprofile baseline -crf 3 -pix_fmt yuv420p -map_metadata -1 "DST")"},
      {"H.264 GPU -1, resize, rate beyond the list",
       kPngH264,
       {.gpuType = -1, .fps = 13, .resize = 3, .deinterlace = true},
       R"("/opt/vexlo/ffmpeg.bin" -f image2 -pattern_type sequence -start_number 0001 -i "/seq/img_%04d.png" -an -y -vcodec libx264 -vprofile baseline -b:v 75M -pix_fmt yuv420p -map_metadata -1 -vf  scale=720x486 -aspect 720:486 "DST")"},
      {"H.265 deinterlace and resize in one chain",
       kPngH265,
       {.gpuType = 1, .crf = 1, .fps = 7, .resize = 3, .deinterlace = true},
       R"("/opt/vexlo/ffmpeg.bin" -framerate 25 -pattern_type sequence -start_number 0001 -i "/seq/img_%04d.png" -an -y -vcodec hevc_nvenc -b:v 55M -pix_fmt yuv420p -map_metadata -1 -vf yadif,scale=720x486 -aspect 720:486 "DST")"},
      {"MPV AMD",
       kPngMpv,
       {.gpuType = 2, .crf = 13, .fps = 7},
       R"("/opt/vexlo/ffmpeg.bin" -framerate 25 -pattern_type sequence -start_number 0001 -i "/seq/img_%04d.png" -an -y -vcodec hevc_amf -b:v 1M -pix_fmt yuv420p -map_metadata -1 -f mp4 "DST")"},
      {"MPV GPU -1 takes the software row",
       kPngMpv,
       {.gpuType = -1, .fps = 7},
       R"("/opt/vexlo/ffmpeg.bin" -framerate 25 -pattern_type sequence -start_number 0001 -i "/seq/img_%04d.png" -an -y -vcodec libx265 -vprofile main -crf 3 -pix_fmt yuv420p -map_metadata -1 -f mp4 "DST")"},
  });
}

TEST(EncodeCommandLines, WavAndTestEncode) {
  EXPECT_EQ(
      ExtractWav(kDir, "SRC", "/out/song.WAV"),
      R"("/opt/vexlo/ffmpeg.bin" -i "SRC" -vn -acodec pcm_s16le -ar 48000 -map_metadata -1  "/out/song.WAV")");
  EXPECT_EQ(TestEncodeMjpeg(kDir, "SRC", "DST", false),
            R"("/opt/vexlo/ffmpeg.bin" -an -y -i "SRC" -vcodec mjpeg -q:v 0.5 "DST")");
  EXPECT_EQ(TestEncodeMjpeg(kDir, "SRC", "DST", true),
            R"("/opt/vexlo/ffmpeg.bin" -an -report -y -i "SRC" -vcodec mjpeg -q:v 0.5 "DST")");
}

// Indexes far outside every list fall to the default rows instead of reading past a table.
TEST(EncodeOptionTables, ExtremeIndexesFallToDefaults) {
  for (int index : {INT_MIN, -1, 14, 16, INT_MAX}) {
    SCOPED_TRACE(index);
    EXPECT_EQ(tables::SoftwareCrf(index), " -crf 14");
    EXPECT_EQ(tables::H264BitRate(index), "");
    EXPECT_EQ(tables::H265BitRate(index), "");
    EXPECT_EQ(tables::PngH265BitRate(index), "");
    EXPECT_EQ(tables::FrameRate(index), "");
    EXPECT_EQ(tables::ProfileWord(index), " high");
    EXPECT_EQ(tables::H264Encoder(index).piece, " -an -y -vcodec libx264");
    EXPECT_EQ(tables::H265Encoder(index).piece, " -an -y -vcodec libx265");
  }
  for (int index : {INT_MIN, 0, 16, INT_MAX}) {
    EXPECT_FALSE(tables::Resize(index, tables::ResizeRange::kWithPosition15)) << index;
  }
  EXPECT_FALSE(tables::Resize(15, tables::ResizeRange::kListOnly));
  EXPECT_EQ(tables::Preset(INT_MIN), " -preset slow");
  EXPECT_EQ(tables::Preset(INT_MAX), " -preset fast");
}

}  // namespace
}  // namespace vexlo::encode
