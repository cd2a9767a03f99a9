#pragma once

// The native dialog's check boxes and radio buttons painted in the dark colours.

struct HWND__;

namespace vexlo::platform::win32 {

/// Paints a check box or radio button of a dialog in the dark colours: its box or circle in the
/// edit grey, the mark in the text white, the caption in the colours the dialog gives for it
/// (WM_CTLCOLORSTATIC: dim while disabled) and the focus rectangle around the caption. Only the
/// painting is taken over (a subclass): the button keeps its class and style, so it keeps its
/// own state (BM_GETCHECK, BM_SETCHECK, the toggle of a click or the space bar, a radio group's
/// exclusion) and its role for screen readers.
void PaintDark(HWND__* button);

}  // namespace vexlo::platform::win32
