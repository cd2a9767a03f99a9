#pragma once

#include <optional>
#include <string>
#include <string_view>

// The Frame button: the frame time read from its field, the picture's name and the grab's
// command line.

namespace vexlo::analysis {

/// The frame time typed by the user: its leading decimal number in seconds, 0 when it has none
/// (or when it does not fit a float).
float FrameSeconds(std::string_view text);

/// The time suffix of a grabbed picture: "_%2.2f" with its first "." turned into "_"
/// (12.5 -> "_12_50", -1 -> "_-1_00").
std::string FrameTimeSuffix(float seconds);

/// The picture beside the source: the source path up to the last "." of the file's own name
/// (never of a folder's; not its first character), the time suffix and ".BMP" (clip.mp4 at
/// 12.5 s -> clip_12_50.BMP); a name without such a "." keeps all of it
/// (/film.2024/clip -> /film.2024/clip_12_50.BMP). Nothing for an empty source.
std::optional<std::string> PicturePathFor(std::string_view source, float seconds);

/// "\"DIR/ffmpeg.bin\" -i \"SOURCE\" -ss S.SS[ -vf yadif] -t 1 -f image2 \"PICTURE\"".
std::string GrabFrameCommandLine(std::string_view programDir, std::string_view source,
                                 float seconds, bool deinterlace, std::string_view picturePath);

/// The log line that refuses a frame grab, or an empty string when it may run: no source, a path
/// that cannot be put on a command line, or a picture path that names the source itself.
std::string GrabFrameRefusal(const std::string& source, const std::string& picturePath);

}  // namespace vexlo::analysis
