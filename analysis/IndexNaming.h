#pragma once

#include <optional>
#include <string>
#include <string_view>

// The names of the frame index file and of the frames' picture beside an analysed file.

namespace vexlo::analysis {

inline constexpr std::string_view kIndexExtension = ".INDX";
inline constexpr std::string_view kGopExtension = ".TMP";

/// The index file beside the analysed file: the naming path up to the last "." of the file's own
/// name (never of a folder's) with ".TMP" in GOP mode or ".INDX" otherwise; a name without a "."
/// gets the extension appended (/p/proj.v2/clip -> /p/proj.v2/clip.INDX). Nothing for an empty
/// path.
std::optional<std::string> IndexPathFor(std::string_view namingPath, bool gopMode);

/// "\"DIR/ffprobe.bin\" -show_frames \"INPUT\"".
std::string FrameIndexCommandLine(std::string_view programDir, std::string_view input);

/// The log line that refuses a frame index or GOP job, or an empty string when it may run:
/// no input (or no index path), an input that cannot be put on a command line, or an index path
/// that names the analysed file itself, which the job would delete.
std::string FrameIndexRefusal(const std::string& input,
                              const std::optional<std::string>& indexPath);

}  // namespace vexlo::analysis
