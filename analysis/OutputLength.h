#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Whether an output reached the end of its source: FFmpeg ends with exit code 0 when its input
// ends early (a file cut short, a damaged index), so an exit code alone does not tell.
namespace vexlo::analysis {

/// True when an output that reached `reachedMs` of a source of `sourceMs` ends short of it: by
/// more than 2 % of the source and by more than a second. A source without a duration (0 or
/// less) is never short.
bool EndsShort(std::int64_t sourceMs, std::int64_t reachedMs);

/// A media time as M:SS.cc, from an hour on as H:MM:SS.cc (hundredths cut, not rounded).
std::string MediaTimeText(std::int64_t ms);

/// "The output ends at 0:05.40 of the source's 0:10.00 (the source may be damaged or cut
/// short)".
std::string ShortOutputText(std::int64_t sourceMs, std::int64_t reachedMs);

/// The log line of a short output: "##### WARNING: " + ShortOutputText + " ######\r\n".
std::string ShortOutputWarning(std::int64_t sourceMs, std::int64_t reachedMs);

/// The command line that reads back how long a written file is: ffprobe.bin counts the packets
/// of each stream and gives their frame rates and the file's duration:
/// "DIR/ffprobe.bin" -v error -count_packets -show_entries
/// stream=codec_type,nb_read_packets,avg_frame_rate,r_frame_rate:format=duration "PATH".
std::string OutputLengthCommandLine(std::string_view programDir, std::string_view path);

/// The length that report gives, in milliseconds: the file's duration when it has one, else
/// (a raw H.264 or H.265 stream has none) the first video stream's packets times its frame
/// duration (the average frame rate, else the base one). Nothing when neither can be read.
std::optional<std::int64_t> ReadOutputLength(std::string_view report);

/// The command line that reads the durations of a file's streams:
/// "DIR/ffprobe.bin" -v error -show_entries stream=codec_type,duration:stream_tags=DURATION "PATH".
std::string StreamLengthCommandLine(std::string_view programDir, std::string_view path);

/// The duration of the first stream of `type` ("video" or "audio") in that report: its own
/// duration, else its DURATION tag (Matroska keeps it there). Nothing when neither is readable.
std::optional<std::int64_t> ReadStreamLength(std::string_view report, std::string_view type);

/// Whether an output of `streamType` that reached `reachedMs` ends short of its source, whose
/// header gives `sourceMs` (the longest of its streams). Only when it is short of that is the
/// source's own stream of the output's type read with the prober in `programDir`, and it is
/// that stream the output must reach: a clip whose sound outlasts its picture is not damaged.
/// The length the output falls short of (the stream's when it could be read), or nothing when
/// the output is whole.
std::optional<std::int64_t> ShortOfSource(std::int64_t sourceMs, std::int64_t reachedMs,
                                          const std::string& programDir,
                                          const std::string& source, std::string_view streamType);

}  // namespace vexlo::analysis
