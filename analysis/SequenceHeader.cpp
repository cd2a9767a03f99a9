#include "analysis/SequenceHeader.h"

#include <algorithm>
#include <array>
#include <utility>

#include "analysis/RbspReader.h"

namespace vexlo::analysis {

namespace {

// The colour facts of a video usability information block.
struct SignalType {
  bool fullRange = false;
  bool rgb = false;  // matrix_coefficients 0: the planes are G, B and R
};

// The prober's name of a pixel format: 4:0:0 (H.265 only), 4:2:0, 4:2:2 or 4:4:4 at 8, 10 or 12
// bits. An 8-bit 4:2:0 picture of full range is "yuvj420p"; any other full-range or RGB picture
// is left to the prober.
std::optional<std::string> PixelFormatName(std::uint32_t chroma, std::uint32_t lumaDepth,
                                           std::uint32_t chromaDepth, SignalType signal) {
  if (lumaDepth != chromaDepth || signal.rgb) return std::nullopt;
  if (lumaDepth != 8 && lumaDepth != 10 && lumaDepth != 12) return std::nullopt;
  constexpr std::array<const char*, 4> kLayouts = {"gray", "yuv420p", "yuv422p", "yuv444p"};
  std::string name = kLayouts[chroma];
  if (signal.fullRange) {
    if (chroma != 1 || lumaDepth != 8) return std::nullopt;
    return "yuvj420p";
  }
  if (lumaDepth > 8) name += std::to_string(lumaDepth) + "le";
  return name;
}

// The H.264 profile's name from profile_idc and constraint_set1 and 3 (the constrained and intra
// variants); nothing for the profiles no encoder of ours writes.
std::optional<std::string> H264ProfileName(std::uint32_t profileIdc, std::uint32_t constraints) {
  const bool set1 = (constraints & 0x40) != 0, set3 = (constraints & 0x10) != 0;
  switch (profileIdc) {
    case 66:
      return set1 ? "Constrained Baseline" : "Baseline";
    case 77:
      return "Main";
    case 88:
      return "Extended";
    case 100:
      return "High";
    case 110:
      return set3 ? "High 10 Intra" : "High 10";
    case 122:
      return set3 ? "High 4:2:2 Intra" : "High 4:2:2";
    case 244:
      return set3 ? "High 4:4:4 Intra" : "High 4:4:4 Predictive";
    default:
      return std::nullopt;
  }
}

// False when a step of the list is out of range.
bool SkipScalingList(RbspReader& bits, int size) {
  int last = 8, next = 8;
  for (int j = 0; j < size; ++j) {
    if (next != 0) {
      const std::int32_t delta = bits.Signed();
      if (delta < -128 || delta > 127) return false;
      next = (last + delta + 256) % 256;
    }
    last = next == 0 ? last : next;
  }
  return true;
}

// False when the count of its schedules is out of range.
bool SkipH264Hrd(RbspReader& bits) {
  const std::uint32_t count = bits.Unsigned() + 1;
  if (count > 32) return false;
  bits.Skip(8);  // bit_rate_scale, cpb_size_scale
  for (std::uint32_t i = 0; i < count; ++i) bits.Unsigned(), bits.Unsigned(), bits.Flag();
  bits.Skip(20);  // the four delay and offset lengths
  return true;
}

// The width and height with the crop of `right` and `bottom` units; nothing when the crop would
// leave no picture or the picture is larger than a report can hold.
std::optional<PictureSize> Cropped(std::uint64_t width, std::uint64_t height, std::uint64_t right,
                                   std::uint64_t bottom) {
  if (right >= width || bottom >= height) return std::nullopt;
  if (width - right > 65535 || height - bottom > 65535) return std::nullopt;
  return PictureSize{static_cast<int>(width - right), static_cast<int>(height - bottom)};
}

// The header with its picture's size and pixel format; nothing when either cannot be told.
std::optional<SequenceHeader> WithPicture(SequenceHeader header, std::optional<PictureSize> size,
                                          std::optional<std::string> format) {
  if (!size || !format) return std::nullopt;
  header.size = *size;
  header.pixelFormat = std::move(*format);
  return header;
}

// The start both codecs' video usability information share: the aspect ratio, overscan, the
// video signal (its range and matrix) and the chroma sample location.
void ReadVuiSignal(RbspReader& bits, SignalType& signal) {
  if (bits.Flag() && bits.Bits(8) == 255) bits.Skip(32);  // the sample aspect ratio
  if (bits.Flag()) bits.Skip(1);                          // overscan
  if (bits.Flag()) {
    bits.Skip(3);
    signal.fullRange = bits.Flag();
    if (bits.Flag()) bits.Skip(16), signal.rgb = bits.Bits(8) == 0;
  }
  if (bits.Flag()) bits.Unsigned(), bits.Unsigned();  // the chroma sample location
}

// The H.264 video usability information up to the reordering it allows.
bool ReadH264Vui(RbspReader& bits, SequenceHeader& header, SignalType& signal) {
  ReadVuiSignal(bits, signal);
  if (bits.Flag()) {
    const std::uint32_t unitsInTick = bits.Bits(32), timeScale = bits.Bits(32);
    bits.Skip(1);  // fixed_frame_rate_flag
    header.frameTicks = std::uint64_t{2} * unitsInTick;
    header.tickRate = timeScale;
  }
  const bool nalHrd = bits.Flag();
  if (nalHrd && !SkipH264Hrd(bits)) return false;
  const bool vclHrd = bits.Flag();
  if (vclHrd && !SkipH264Hrd(bits)) return false;
  if (nalHrd || vclHrd) bits.Skip(1);  // low_delay_hrd_flag
  if (bits.Flag()) return false;       // pic_struct_present_flag: frames may last two or three
  if (bits.Flag()) {
    bits.Skip(1);
    for (int i = 0; i < 4; ++i) bits.Unsigned();
    header.reorderFrames = bits.Unsigned();
    bits.Unsigned();
  }
  return true;
}

// An H.265 profile_tier_level with its sub-layers; the general profile's name, as the prober
// names profile_idc 1 to 4; nothing for another profile space or an interlaced source.
std::optional<std::string> ReadH265ProfileTierLevel(RbspReader& bits, std::uint32_t subLayers) {
  const std::uint32_t space = bits.Bits(2);
  bits.Skip(1);  // general_tier_flag
  const std::uint32_t profileIdc = bits.Bits(5);
  bits.Skip(32);  // general_profile_compatibility_flag[32]
  bits.Skip(1);   // general_progressive_source_flag
  const bool interlaced = bits.Flag();
  bits.Skip(46 + 8);  // the other constraint flags, general_level_idc
  std::array<bool, 8> profilePresent{}, levelPresent{};
  for (std::uint32_t i = 0; i < subLayers; ++i) {
    profilePresent[i] = bits.Flag();
    levelPresent[i] = bits.Flag();
  }
  if (subLayers > 0) bits.Skip(2 * (8 - subLayers));
  for (std::uint32_t i = 0; i < subLayers; ++i)
    bits.Skip((profilePresent[i] ? 88 : 0) + (levelPresent[i] ? 8 : 0));
  constexpr std::array<const char*, 5> kNames = {"", "Main", "Main 10", "Main Still Picture",
                                                 "Rext"};
  if (space != 0 || interlaced || profileIdc < 1 || profileIdc > 4) return std::nullopt;
  return kNames[profileIdc];
}

void SkipH265ScalingLists(RbspReader& bits) {
  for (int sizeId = 0; sizeId < 4; ++sizeId) {
    for (int matrixId = 0; matrixId < 6; matrixId += sizeId == 3 ? 3 : 1) {
      if (!bits.Flag()) {
        bits.Unsigned();  // scaling_list_pred_matrix_id_delta
        continue;
      }
      if (sizeId > 1) bits.Signed();  // the DC coefficient
      for (int i = 0; i < std::min(64, 1 << (4 + (sizeId << 1))); ++i) bits.Signed();
    }
  }
}

// The short-term reference picture sets; false when they are not valid.
bool SkipH265ShortTermSets(RbspReader& bits) {
  const std::uint32_t count = bits.Unsigned();
  if (count > 64) return false;
  std::array<std::uint32_t, 64> deltaPocs{};  // NumDeltaPocs of each set
  for (std::uint32_t set = 0; set < count && !bits.overrun(); ++set) {
    if (set != 0 && bits.Flag()) {  // predicted from the set before it
      bits.Skip(1);
      bits.Unsigned();
      std::uint32_t kept = 0;
      for (std::uint32_t j = 0; j <= deltaPocs[set - 1]; ++j) {
        if (bits.Flag() || bits.Flag()) ++kept;  // used_by_curr_pic_flag, else use_delta_flag
      }
      deltaPocs[set] = kept;
      continue;
    }
    const std::uint32_t negative = bits.Unsigned(), positive = bits.Unsigned();
    if (negative > 16 || positive > 16) return false;
    for (std::uint32_t j = 0; j < negative + positive; ++j) bits.Unsigned(), bits.Skip(1);
    deltaPocs[set] = negative + positive;
  }
  return true;
}

// The H.265 video usability information up to its timing.
bool ReadH265Vui(RbspReader& bits, SequenceHeader& header, SignalType& signal) {
  ReadVuiSignal(bits, signal);
  bits.Skip(1);                                       // neutral_chroma_indication_flag
  // field_seq_flag, frame_field_info_present_flag (picture timing SEI), and a default display
  // window (which the prober's decoder reads in two ways when it looks wrong).
  if (bits.Flag() || bits.Flag() || bits.Flag()) return false;
  if (bits.Flag()) {
    const std::uint32_t unitsInTick = bits.Bits(32), timeScale = bits.Bits(32);
    header.frameTicks = unitsInTick;
    header.tickRate = timeScale;
  }
  return true;
}

}  // namespace

std::optional<SequenceHeader> ReadH264SequenceHeader(std::basic_string_view<std::uint8_t> nal) {
  if (nal.size() < 4) return std::nullopt;
  const std::vector<std::uint8_t> payload = UnescapedPayload(nal.substr(1));
  RbspReader bits(payload);
  SequenceHeader header;
  const std::uint32_t profileIdc = bits.Bits(8), constraints = bits.Bits(8);
  bits.Skip(8);  // level_idc
  const auto profile = H264ProfileName(profileIdc, constraints);
  if (!profile || bits.Unsigned() > 31) return std::nullopt;
  header.profile = *profile;
  std::uint32_t chroma = 1, lumaDepth = 8, chromaDepth = 8;
  if (profileIdc >= 100) {
    chroma = bits.Unsigned();
    if (chroma > 3 || (chroma == 3 && bits.Flag())) return std::nullopt;  // separate planes
    lumaDepth = bits.Unsigned() + 8;
    chromaDepth = bits.Unsigned() + 8;
    bits.Skip(1);  // qpprime_y_zero_transform_bypass_flag
    if (bits.Flag()) {
      for (int i = 0; i < (chroma == 3 ? 12 : 8); ++i) {
        if (bits.Flag() && !SkipScalingList(bits, i < 6 ? 16 : 64)) return std::nullopt;
      }
    }
  }
  // The picture of 4:0:0 H.264 is named after its range and the decoder's options, not its
  // layout: the prober's own name decides it.
  if (chroma == 0) return std::nullopt;
  const std::uint32_t frameNumBits = bits.Unsigned() + 4;
  if (frameNumBits > 16) return std::nullopt;
  header.log2MaxFrameNum = static_cast<int>(frameNumBits);
  const std::uint32_t pocType = bits.Unsigned();
  if (pocType == 0) {
    bits.Unsigned();
  } else if (pocType == 1) {
    bits.Skip(1);
    bits.Signed(), bits.Signed();
    const std::uint32_t cycle = bits.Unsigned();
    if (cycle > 255) return std::nullopt;
    for (std::uint32_t i = 0; i < cycle; ++i) bits.Signed();
  } else if (pocType != 2) {
    return std::nullopt;
  }
  bits.Unsigned();  // max_num_ref_frames
  bits.Skip(1);     // gaps_in_frame_num_value_allowed_flag
  const std::uint64_t width = (std::uint64_t{bits.Unsigned()} + 1) * 16;
  const std::uint64_t height = (std::uint64_t{bits.Unsigned()} + 1) * 16;
  if (!bits.Flag()) return std::nullopt;  // frame_mbs_only_flag: fields or frame/field pairs
  bits.Skip(1);                           // direct_8x8_inference_flag
  std::uint64_t cropRight = 0, cropBottom = 0;
  if (bits.Flag()) {
    const std::uint64_t left = bits.Unsigned(), right = bits.Unsigned(), top = bits.Unsigned(),
                        bottom = bits.Unsigned();
    if (left != 0 || top != 0) return std::nullopt;
    cropRight = right * (chroma == 3 ? 1 : 2);
    cropBottom = bottom * (chroma == 1 ? 2 : 1);
  }
  SignalType signal;
  if (bits.Flag() && !ReadH264Vui(bits, header, signal)) return std::nullopt;
  if (bits.overrun() || lumaDepth > 10) return std::nullopt;
  return WithPicture(std::move(header), Cropped(width, height, cropRight, cropBottom),
                     PixelFormatName(chroma, lumaDepth, chromaDepth, signal));
}

std::optional<SequenceHeader> ReadH265SequenceHeader(std::basic_string_view<std::uint8_t> nal) {
  if (nal.size() < 4) return std::nullopt;
  const std::vector<std::uint8_t> payload = UnescapedPayload(nal.substr(2));
  RbspReader bits(payload);
  SequenceHeader header;
  bits.Skip(4);  // sps_video_parameter_set_id
  const std::uint32_t subLayers = bits.Bits(3);
  bits.Skip(1);  // sps_temporal_id_nesting_flag
  if (subLayers > 6) return std::nullopt;
  const auto profile = ReadH265ProfileTierLevel(bits, subLayers);
  if (!profile || bits.Unsigned() > 15) return std::nullopt;
  header.profile = *profile;
  const std::uint32_t chroma = bits.Unsigned();
  if (chroma > 3 || (chroma == 3 && bits.Flag())) return std::nullopt;  // separate planes
  const std::uint64_t width = bits.Unsigned(), height = bits.Unsigned();
  std::uint64_t cropRight = 0, cropBottom = 0;
  if (bits.Flag()) {
    const std::uint64_t left = bits.Unsigned(), right = bits.Unsigned(), top = bits.Unsigned(),
                        bottom = bits.Unsigned();
    if (left != 0 || top != 0) return std::nullopt;
    cropRight = right * (chroma == 1 || chroma == 2 ? 2 : 1);
    cropBottom = bottom * (chroma == 1 ? 2 : 1);
  }
  const std::uint32_t lumaDepth = bits.Unsigned() + 8, chromaDepth = bits.Unsigned() + 8;
  const std::uint32_t pocBits = bits.Unsigned() + 4;
  if (pocBits > 16) return std::nullopt;
  const bool everySubLayer = bits.Flag();
  for (std::uint32_t i = everySubLayer ? 0 : subLayers; i <= subLayers; ++i) {
    bits.Unsigned();
    header.reorderFrames = bits.Unsigned();  // the highest sub-layer's counts
    bits.Unsigned();
  }
  for (int i = 0; i < 6; ++i) bits.Unsigned();  // block sizes and transform depths
  if (bits.Flag() && bits.Flag()) SkipH265ScalingLists(bits);
  bits.Skip(2);  // amp_enabled_flag, sample_adaptive_offset_enabled_flag
  if (bits.Flag()) {
    bits.Skip(8);
    bits.Unsigned(), bits.Unsigned();
    bits.Skip(1);
  }
  if (!SkipH265ShortTermSets(bits)) return std::nullopt;
  if (bits.Flag()) {
    const std::uint32_t longTerm = bits.Unsigned();
    if (longTerm > 32) return std::nullopt;
    for (std::uint32_t i = 0; i < longTerm; ++i) bits.Skip(pocBits + 1);
  }
  bits.Skip(2);  // sps_temporal_mvp_enabled_flag, strong_intra_smoothing_enabled_flag
  SignalType signal;
  if (bits.Flag() && !ReadH265Vui(bits, header, signal)) return std::nullopt;
  if (bits.overrun()) return std::nullopt;
  return WithPicture(std::move(header), Cropped(width, height, cropRight, cropBottom),
                     PixelFormatName(chroma, lumaDepth, chromaDepth, signal));
}

}  // namespace vexlo::analysis
