#pragma once

#include <string>

// A picture of a native window written as a file (--screenshot).

struct HWND__;

namespace vexlo::platform::win32 {

/// A picture of the window as it shows on the screen (frame, menu and title included), written as
/// a 24-bit BMP file; false when the file could not be written.
bool WriteWindowBitmap(HWND__* window, const std::string& path);

}  // namespace vexlo::platform::win32
