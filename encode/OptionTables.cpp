#include "encode/OptionTables.h"

#include <cstddef>

namespace vexlo::encode::tables {
namespace {

// The row at a list position, or the fallback when the position lies outside the table.
template <typename Row, std::size_t N>
Row RowAt(const std::array<Row, N>& table, int index, Row fallback) {
  if (index < 0 || static_cast<std::size_t>(index) >= N) return fallback;
  return table[static_cast<std::size_t>(index)];
}

}  // namespace

std::string_view ProfileWord(int profile) {
  return RowAt(kProfileWords, profile, kProfileWords.back());
}

std::string_view Preset(int crf) {
  for (const PresetRow& row : kPresets) {
    if (crf <= row.lastCrfIndex) return row.piece;
  }
  return kPresetAbove;
}

std::string_view SoftwareCrf(int crf) {
  return RowAt(kSoftwareCrf, crf, kSoftwareCrfDefault);
}
std::string_view H264BitRate(int crf) {
  return RowAt(kH264BitRates, crf, std::string_view());
}
std::string_view H265BitRate(int crf) {
  return RowAt(kH265BitRates, crf, std::string_view());
}
std::string_view PngH265BitRate(int crf) {
  return RowAt(kPngH265BitRates, crf, std::string_view());
}
std::string_view FrameRate(int fps) {
  return RowAt(kFrameRates, fps, std::string_view());
}

std::optional<ResizeRow> Resize(int resize, ResizeRange range) {
  const int last = range == ResizeRange::kWithPosition15 ? kLastListResize + 1 : kLastListResize;
  if (resize < 1 || resize > last) return std::nullopt;
  return kResizes[static_cast<std::size_t>(resize)];
}

EncoderRow H264Encoder(int gpuType) {
  return RowAt(kH264Encoders, gpuType, kH264Encoders[0]);
}
EncoderRow H265Encoder(int gpuType) {
  return RowAt(kH265Encoders, gpuType, kH265Encoders[0]);
}

}  // namespace vexlo::encode::tables
