#pragma once

#include <string>
#include <string_view>

#include "encode/EncoderSettings.h"

// The command lines that encode a video file. Each returns the whole line for the runner, with
// the quoted tool path DIR/ffmpeg.bin first; SRC and DST are quoted unchanged.
namespace vexlo::encode {

/// A raw H.264 stream without audio.
std::string EncodeH264(const EncoderSettings& settings, std::string_view programDir,
                       std::string_view src, std::string_view dst);
/// A raw H.265 stream without audio.
std::string EncodeH265(const EncoderSettings& settings, std::string_view programDir,
                       std::string_view src, std::string_view dst);
/// The H.265 encode written in the MP4 format (" -f mp4"), whatever DST's extension.
std::string EncodeMpv(const EncoderSettings& settings, std::string_view programDir,
                      std::string_view src, std::string_view dst);

}  // namespace vexlo::encode
