#pragma once

#include <array>
#include <ctime>
#include <string>
#include <string_view>

// The log's formats: the timestamp, the level prefix and the monthly log file's name.

namespace vexlo::hosts {

/// The local time as "DD Mon-HH.MM.SS " (two-digit day, English month abbreviation, two-digit
/// hour, minute and second, a trailing blank), whatever the process's locale. Empty when the time
/// cannot be converted.
std::string FormatTimestamp(std::time_t when);

/// The level prefix every log line carries: "[%02d] # ".
std::string FormatLevelPrefix(int level);

/// The monthly log file beside a trace file: the trace path without its file name's extension,
/// followed by "_MM_YYYY.Log". Only the file name's last dot counts, never a dot in a directory
/// name: "/p/a.b/ConvVexlo.Log" in December 2026 gives "/p/a.b/ConvVexlo_12_2026.Log".
std::string DatedLogPath(std::string_view tracePath, int month, int year);

/// DatedLogPath for the local month and year of a moment; a part that cannot be converted is 0.
std::string DatedLogPathAt(std::string_view tracePath, std::time_t when);

/// Where the monthly log file is written, in the order tried: beside the trace file (the
/// program's folder), then under the same name in platform::StateDirectory(), for a program
/// folder that cannot take it (an installed program's read-only folder).
std::array<std::string, 2> LogFileCandidates(std::string_view tracePath, std::time_t when);

}  // namespace vexlo::hosts
