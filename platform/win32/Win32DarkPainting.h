#pragma once

#include <array>

#include "res/ColorScheme.h"
#include "res/DialogTemplate.h"

// The native dialog's dark painting.

struct HWND__;
struct tagDRAWITEMSTRUCT;

namespace vexlo::platform::win32 {

/// A colour of res/ColorScheme as a COLORREF.
unsigned long ColorOf(res::colors::Rgb rgb);

/// The brushes and colours of WM_CTLCOLOR*: each control's surface (dialog, static, button,
/// edit; a read-only edit as a static) as res/ColorScheme gives it, disabled text greyed.
class DarkBrushes {
 public:
  DarkBrushes();
  ~DarkBrushes();
  DarkBrushes(const DarkBrushes&) = delete;
  DarkBrushes& operator=(const DarkBrushes&) = delete;

  /// Sets the text colours on `dc` for `child` (nullptr: the dialog itself) and returns the
  /// brush of its background, or 0 where the system's colours stay.
  long long colorControl(unsigned long long dc, HWND__* child,
                         const res::DialogTemplate& dialog) const;

 private:
  std::array<void*, 4> brushes_{};  // static, button, dialog, edit
};

/// The progress bar paints itself from now on: the edit grey, and the part done in the highlight
/// colour (a themed bar, which Wine gives even without a manifest, ignores PBM_SETBKCOLOR and
/// PBM_SETBARCOLOR).
void PaintProgressBarDark(HWND__* bar);
/// True for a push button (owner-drawn).
bool IsPushButton(const res::ControlTemplate* control);
/// An owner-drawn push button in the dark colours.
void DrawPushButton(const tagDRAWITEMSTRUCT& item);
/// The button Enter presses (DM_GETDEFID, which owner-drawn buttons leave to the dialog): the
/// push button that has the focus, else the template's first default button; 0 for none.
int DefaultButton(HWND__* window, const res::DialogTemplate& dialog);

}  // namespace vexlo::platform::win32
