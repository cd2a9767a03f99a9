#pragma once

#include <array>
#include <optional>
#include <string_view>

// Every option piece of the encoder command lines, as data indexed by list position. A lookup
// with an index that no row has (-1 included) gives the table's default row.
namespace vexlo::encode::tables {

/// An encoder choice: the piece that follows the input path's closing quote, and whether the
/// rate pieces take the hardware form (a bit rate) or the software form (a CRF).
struct EncoderRow {
  std::string_view piece;
  bool hardware;
};

/// A resize position: the scale filter's size and the display aspect of the same size.
struct ResizeRow {
  std::string_view size;    // "720x486"
  std::string_view aspect;  // "720:486"
};

/// Which resize positions a builder knows: the list's 1 to 14, or also the H.264 encode's 15.
enum class ResizeRange { kListOnly, kWithPosition15 };

inline constexpr std::array<std::string_view, 3> kProfileWords = {" baseline", " main", " high"};

/// Software encoder presets by the CRF index: up to `lastCrfIndex` (signed) the piece applies.
struct PresetRow {
  int lastCrfIndex;
  std::string_view piece;
};
inline constexpr std::array<PresetRow, 2> kPresets = {{
    {13, " -preset slow"},
    {20, " -preset normal"},
}};
inline constexpr std::string_view kPresetAbove = " -preset fast";

// The "CRF (3=Best)" list shows these values (res/ListEntries.h).
inline constexpr std::array<std::string_view, 14> kSoftwareCrf = {
    " -crf 3",  " -crf 5",  " -crf 7",  " -crf 10", " -crf 12", " -crf 13", " -crf 15",
    " -crf 16", " -crf 17", " -crf 18", " -crf 20", " -crf 22", " -crf 25", " -crf 30"};
inline constexpr std::string_view kSoftwareCrfDefault = " -crf 14";

inline constexpr std::array<std::string_view, 14> kH264BitRates = {
    " -b:v 75M", " -b:v 65M", " -b:v 55M", " -b:v 45M", " -b:v 40M", " -b:v 35M", " -b:v 30M",
    " -b:v 25M", " -b:v 20M", " -b:v 15M", " -b:v 10M", " -b:v 8M",  " -b:v 4M",  " -b:v 2M"};

inline constexpr std::array<std::string_view, 14> kH265BitRates = {
    " -b:v 60M", " -b:v 44M", " -b:v 35M", " -b:v 32M", " -b:v 28M", " -b:v 24M", " -b:v 20M",
    " -b:v 16M", " -b:v 12M", " -b:v 8M",  " -b:v 6M",  " -b:v 4M",  " -b:v 2M",  " -b:v 1M"};

inline constexpr std::array<std::string_view, 14> kPngH265BitRates = {
    " -b:v 60M", " -b:v 55M", " -b:v 44M", " -b:v 40M", " -b:v 35M", " -b:v 30M", " -b:v 25M",
    " -b:v 20M", " -b:v 15M", " -b:v 10M", " -b:v 8M",  " -b:v 4M",  " -b:v 2M",  " -b:v 1M"};

// Position 0 is "None". The value serves the fps filter, " -r N" and " -framerate N".
inline constexpr std::array<std::string_view, 13> kFrameRates = {
    "", "5", "10", "15", "20", "23.98", "24", "25", "29.97", "30", "50", "59.94", "60"};

// Position 0 is "No Resize"; position 15 exists for the H.264 video encode only.
inline constexpr std::array<ResizeRow, 16> kResizes = {{
    {"", ""},
    {"320x240", "320:240"},
    {"640x480", "640:480"},
    {"720x486", "720:486"},
    {"720x576", "720:576"},
    {"800x600", "800:600"},
    {"1024x600", "1024:600"},
    {"1024x768", "1024:768"},
    {"1280x720", "1280:720"},
    {"1280x768", "1280:768"},
    {"1280x800", "1280:800"},
    {"1440x1080", "1440:1080"},
    {"1920x1080", "1920:1080"},
    {"1920x1200", "1920:1200"},
    {"3840x2160", "3840:2160"},
    {"4096x2160", "4096:2160"},
}};
inline constexpr int kLastListResize = 14;

// Row 0 is the default for any GPU value outside the table. The H.264 encoders' NVIDIA name is
// "h264_nvenc" for the PNG encode too: the older "nvenc_h264" is gone from current FFmpeg.
inline constexpr std::array<EncoderRow, 3> kH264Encoders = {{
    {" -an -y -vcodec libx264", false},
    {" -an -y -c:v h264_nvenc", true},
    {" -an -y -c:v h264_amf", true},
}};
inline constexpr std::array<EncoderRow, 3> kH265Encoders = {{
    {" -an -y -vcodec libx265", false},
    {" -an -y -vcodec hevc_nvenc", true},
    {" -an -y -vcodec hevc_amf", true},
}};

/// " baseline", " main", or " high" for any other index.
std::string_view ProfileWord(int profile);
/// The software preset by the CRF index taken as a signed number.
std::string_view Preset(int crf);
/// The software CRF piece; " -crf 14" outside the list.
std::string_view SoftwareCrf(int crf);
/// The hardware bit-rate pieces; empty outside the list.
std::string_view H264BitRate(int crf);
std::string_view H265BitRate(int crf);
std::string_view PngH265BitRate(int crf);
/// The forced frame rate's value ("23.98"); empty for "None" and outside the list.
std::string_view FrameRate(int fps);
/// The resize row; nullopt for "No Resize" and positions outside the builder's range.
std::optional<ResizeRow> Resize(int resize, ResizeRange range);
/// The encoder rows; row 0 (software) for any GPU value outside the table.
EncoderRow H264Encoder(int gpuType);
EncoderRow H265Encoder(int gpuType);

}  // namespace vexlo::encode::tables
