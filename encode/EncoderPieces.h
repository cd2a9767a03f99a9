#pragma once

#include <string_view>

#include "process/CommandLineBuilder.h"
#include "encode/EncoderSettings.h"
#include "encode/OptionTables.h"

// The option groups that more than one builder appends.
namespace vexlo::encode::pieces {

/// Where the software form of the rate pieces has its " -pix_fmt yuv420p": inside it, right after
/// the profile (the video encodes) or not at all (the PNG encodes append it after the rate pieces
/// for every encoder).
enum class SoftwarePixelFormat { kInside, kLeftOut };

/// A bit-rate table lookup by the CRF index.
using BitRateLookup = std::string_view (*)(int crf);

/// The H.264 and H.265 encoder rows of the settings' GPU choice (the VA-API rows for an AMD
/// choice that goes through VA-API).
tables::EncoderRow H264Encoder(const EncoderSettings& settings);
tables::EncoderRow H265Encoder(const EncoderSettings& settings);

/// The H.264 rate and profile pieces. The form follows gpuType being 0 or not, not the encoder
/// row, so a gpuType of -1 gives the software encoder with the hardware form.
void AddH264RateAndProfile(process::CommandLineBuilder& line, const EncoderSettings& settings,
                           SoftwarePixelFormat pixelFormat);

/// The H.265 encoder piece and its rate pieces: " -vprofile main" and the CRF piece for the
/// software encoder (also for any gpuType outside the table), the bit rate for the hardware ones.
/// libx265's main profile takes 8-bit 4:2:0 only, so a video source of another format (4:4:4,
/// 4:2:2, 10 bits) is converted to it, as the H.264 line does.
void AddH265EncoderAndRate(process::CommandLineBuilder& line, const EncoderSettings& settings,
                           BitRateLookup bitRate, SoftwarePixelFormat pixelFormat);

/// " -pix_fmt yuv420p" for the encoders that take frames in memory (not the VA-API ones, whose
/// frames are on the device by then).
void AddPngPixelFormat(process::CommandLineBuilder& line, const EncoderSettings& settings);

/// " -vf yadif" when the deinterlace check is set.
void AddDeinterlace(process::CommandLineBuilder& line, const EncoderSettings& settings);

/// " -vf  scale=WxH -aspect W:H" for a resize position in the builder's range.
void AddResize(process::CommandLineBuilder& line, const EncoderSettings& settings,
               tables::ResizeRange range);

/// " -report" when the report check is set.
void AddReport(process::CommandLineBuilder& line, const EncoderSettings& settings);

/// The end of an HEVC line: deinterlace, the resize of the list's range, the VA-API upload,
/// " -f mp4" for an MP4 container, the destination.
void AddHevcTail(process::CommandLineBuilder& line, const EncoderSettings& settings, bool mp4,
                 std::string_view destination);

/// A blank and the quoted destination that ends every command line.
void AddDestination(process::CommandLineBuilder& line, std::string_view destination);

}  // namespace vexlo::encode::pieces
