#pragma once

#include <string>
#include <string_view>

#include "encode/EncoderSettings.h"

// The encoder check's trial of one hardware encoder: one second of a generated test picture into
// a null output, through the render node for the VA-API encoders, whose node is looked at first.
namespace vexlo::encode {

/// The AMD encoders of this system's AMD route.
inline constexpr std::string_view kAmdH264Encoder =
    kSystemAmdRoute == AmdRoute::kVaapi ? "h264_vaapi" : "h264_amf";
inline constexpr std::string_view kAmdH265Encoder =
    kSystemAmdRoute == AmdRoute::kVaapi ? "hevc_vaapi" : "hevc_amf";

/// The trial's command line. The picture is 640x480: NVENC refuses pictures under 256x256.
std::string EncoderTrial(std::string_view programDir, std::string_view encoder);

/// The encoder as the check's line names it: a VA-API one with the render node it was tried on
/// ("h264_vaapi on /dev/dri/renderD128").
std::string TrialName(std::string_view encoder);

/// Why `encoder` cannot be tried on this machine, as the check's line says it ("no VA-API device:
/// /dev/dri/renderD128 does not exist"); empty when it can.
std::string MissingDevice(std::string_view encoder);

}  // namespace vexlo::encode
