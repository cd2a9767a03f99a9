#pragma once

#include <string>
#include <string_view>

// The names of the files an encode makes from its source, the one place where they are derived:
// the window's destination buttons, the command-line batch and the queue take them from here.
namespace vexlo::encode {

/// The output type's extension: ".H264" for 0, ".H265" for 1, ".MPV" for any other value.
std::string_view OutputExtension(int outType);

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
