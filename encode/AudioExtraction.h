#pragma once

#include <string>
#include <string_view>

// The audio row: the WAV name derived from a destination and the extraction's command line.

namespace vexlo::encode {

/// The WAV file name used for an audio destination as typed: the first "VIDEO.H264" (exact
/// case) in the file's name and all after it become "AUDIO.WAV"; otherwise the last '.' of the
/// file's name and all after it become ".WAV"; a name without a dot gets ".WAV" appended (an
/// empty one stays empty). Dots in folder names are never cut at (/p/proj.v2/narration ->
/// /p/proj.v2/narration.WAV).
std::string DeriveWavName(std::string_view destination);

/// The command line that writes the source's audio as 16-bit PCM at 48 kHz into `wavName`.
/// It has no overwrite switch: the request deletes an existing file of that name first.
std::string ExtractWav(std::string_view programDir, std::string_view src, std::string_view wavName);

}  // namespace vexlo::encode
