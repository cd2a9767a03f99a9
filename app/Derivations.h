#pragma once

#include <string>
#include <string_view>

namespace vexlo::app {

// The destination buttons. Each derives a destination path from the source path: it cuts the
// source at the last separator (VID, AUD) or the last full stop (H264, H265, MPV, WAV) anywhere in
// the path, folder names included, and appends its suffix; a source without that character is
// used unchanged.
enum class Destination { kVid, kH264, kH265, kMpv, kAud, kWav };

/// The path a destination button writes into its field, for the output type (0 H.264, 1 H.265,
/// anything else MPV).
std::string DeriveDestination(Destination button, std::string_view source, int outType);

/// The starting folder of a Browse dialog: the text up to its last separator (all of it when it
/// has none), followed by one separator.
std::string BrowseDirectory(std::string_view path);

}  // namespace vexlo::app
