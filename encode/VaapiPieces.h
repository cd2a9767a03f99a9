#pragma once

#include <array>
#include <string_view>

#include "encode/EncoderSettings.h"
#include "encode/OptionTables.h"
#include "process/CommandLineBuilder.h"

// The pieces that make the AMD choice encode through VA-API (gpuType 2 with the VA-API route):
// the device first on the line, the frames uploaded to it after every other filter, the VA-API
// encoders with the profile names they take, and the constant bit rate of the AMD line. Every
// option here is one that `ffmpeg -h encoder=h264_vaapi` (hevc_vaapi) of FFmpeg 5.1 lists.
namespace vexlo::encode::vaapi {

/// The first render node: the one device the VA-API lines and the encoder check use.
inline constexpr std::string_view kRenderNode = "/dev/dri/renderD128";

inline constexpr tables::EncoderRow kH264Encoder = {" -an -y -c:v h264_vaapi", true};
inline constexpr tables::EncoderRow kH265Encoder = {" -an -y -vcodec hevc_vaapi", true};

// h264_vaapi has no plain baseline profile; its constrained baseline takes no B-frames, which
// the encoder would otherwise put in (two by default).
inline constexpr std::array<std::string_view, 3> kProfileWords = {" constrained_baseline -bf 0",
                                                                  " main", " high"};

// Without a rate mode a bit rate alone gives VBR peaking at twice the rate; CBR holds the list's
// rate as the AMD line's encoder does.
inline constexpr std::string_view kRateMode = " -rc_mode CBR";

// H.264 takes 8 bits; H.265 keeps a 10-bit source in 10 bits: the format filter picks the one of
// the two nearest the frames, and hevc_vaapi takes the main10 profile for p010 frames.
inline constexpr std::string_view kH264Upload = "format=nv12,hwupload";
inline constexpr std::string_view kH265Upload = "format=nv12|p010,hwupload";

enum class Codec { kH264, kH265 };

/// True when the settings choose AMD and the AMD choice goes through VA-API.
bool Uses(const EncoderSettings& settings);

/// " -vaapi_device NODE" (a global option: before the input) when the settings use VA-API.
void AddDevice(process::CommandLineBuilder& line, const EncoderSettings& settings);

/// The profile (H.264 only), then the rate mode and the bit rate; nothing of the rate when the
/// CRF position has no bit rate (the encoder then keeps a constant quality).
void AddProfile(process::CommandLineBuilder& line, const EncoderSettings& settings);
void AddRate(process::CommandLineBuilder& line, std::string_view bitRate);

/// The upload as the last filter of the chain, when the settings use VA-API.
void AddUpload(process::CommandLineBuilder& line, const EncoderSettings& settings, Codec codec);

}  // namespace vexlo::encode::vaapi
