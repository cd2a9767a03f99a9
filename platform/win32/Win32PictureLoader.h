#pragma once

// Pictures loaded for the native dialog (the About box's).

struct HWND__;

namespace vexlo::platform::win32 {

/// Shows the About box's picture in its static control (STM_SETIMAGE): the PNG built into the
/// program (an RCDATA resource under the About bitmap's id), decoded with WIC, scaled to fit the
/// control keeping its proportions and centred over the static surface's colour (its transparent
/// parts blended with it), as the Qt window shows it. Returns the bitmap (an HBITMAP, the
/// caller's to delete once the control has gone), or nullptr when the image cannot be read.
void* ShowAboutPicture(HWND__* picture);

}  // namespace vexlo::platform::win32
