#pragma once

#include <string>
#include <string_view>

#include "encode/EncoderSettings.h"

// The names of the files an encode makes from its source, the one place where they are derived:
// the window's destination buttons, the command-line batch and the queue take them from here.
namespace vexlo::encode {

/// The output type's extension: ".H264", ".H265" or ".MPV".
std::string_view OutputExtension(OutputType type);

/// The audio row's extension.
inline constexpr std::string_view kWavExtension = ".WAV";

/// An output's file name: the source's file name (never a folder's) cut at its last '.' and
/// given `extension`; a name without an extension gets it appended ("clip" -> "clip.H264",
/// ".hidden" -> ".hidden.H264").
std::string OutputFileName(std::string_view source, std::string_view extension);

/// OutputFileName in `folder`, or beside the source when `folder` is empty.
std::string OutputPathIn(std::string_view source, std::string_view folder,
                         std::string_view extension);

}  // namespace vexlo::encode
