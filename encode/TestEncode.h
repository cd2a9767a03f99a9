#pragma once

#include <string>
#include <string_view>

// The hidden Test button's command line.

namespace vexlo::encode {

/// The hidden Test button's command line: the source into DST with the Motion JPEG encoder at
/// quality 0.5, audio dropped, DST overwritten.
std::string TestEncodeMjpeg(std::string_view programDir, std::string_view src, std::string_view dst,
                            bool useReport);

}  // namespace vexlo::encode
