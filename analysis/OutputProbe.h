#pragma once

#include <optional>
#include <string>
#include <string_view>

// Reading a written output back: how long it plays, as ffprobe.bin measures it, and whether that
// is short of its source. A job counts an output only once it passes this check.
namespace vexlo::analysis {

/// How the length of a file is measured: a container's own duration, or, for a raw video stream
/// (.H264, .H265), which has none, its packets counted times one frame's duration.
enum class LengthKind { kContainer, kRawStream };

/// ffprobe.bin's command line that prints the figures ParseProbedSeconds reads, one "key=value"
/// a line: "duration=" for a container; "r_frame_rate=" and "nb_read_packets=" of the first video
/// stream for a raw stream (every packet is read to count them).
std::string ProbeLengthCommandLine(std::string_view programDir, std::string_view path,
                                   LengthKind kind);

/// The seconds the probe's lines give: "duration=", else "nb_read_packets=" times the frame
/// duration of "r_frame_rate=" (NUM/DEN). Nothing when the lines hold neither ("N/A", no video
/// stream, a rate of 0).
std::optional<double> ParseProbedSeconds(std::string_view output);

/// True when the output is short of its source by more than 2 % of the source and more than 1 s:
/// a tool that ended well but wrote only part of its input (a cut or damaged source).
bool IsShortOfSource(double sourceSeconds, double outputSeconds);

}  // namespace vexlo::analysis
