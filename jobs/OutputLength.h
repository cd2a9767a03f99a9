#pragma once

#include <cstdint>
#include <string>

// Whether an output reached the end of its source: FFmpeg ends with exit code 0 when its input
// ends early (a file cut short, a damaged index), so an exit code alone does not tell.
namespace vexlo::jobs {

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

}  // namespace vexlo::jobs
