#include "platform/win32/Win32DarkPainting.h"

#include <windows.h>
// After windows.h:
#include <commctrl.h>

#include <string>

#include "platform/win32/Win32CodePage.h"

namespace vexlo::platform::win32 {

namespace {

namespace colors = res::colors;
using res::ControlKind;

void Fill(HDC dc, const RECT& area, colors::Rgb rgb) {
  HBRUSH brush = ::CreateSolidBrush(ColorOf(rgb));
  ::FillRect(dc, &area, brush);
  ::DeleteObject(brush);
}

// The progress bar's window procedure: the edit grey, and the part done in the highlight colour,
// as the Qt window shows it; everything else is the control's own.
LRESULT CALLBACK PaintProgress(HWND bar, UINT message, WPARAM w, LPARAM l) {
  const auto base = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(bar, GWLP_USERDATA));
  if (message != WM_PAINT) return ::CallWindowProcW(base, bar, message, w, l);
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(bar, &paint);
  RECT area{};
  ::GetClientRect(bar, &area);
  Fill(dc, area, colors::kEditGrey);
  const auto low = static_cast<int>(::SendMessageW(bar, PBM_GETRANGE, TRUE, 0));
  const auto high = static_cast<int>(::SendMessageW(bar, PBM_GETRANGE, FALSE, 0));
  const auto position = static_cast<int>(::SendMessageW(bar, PBM_GETPOS, 0, 0));
  ::InflateRect(&area, -1, -1);
  if (high > low && position > low) {
    area.right = area.left + ::MulDiv(area.right - area.left, position - low, high - low);
    Fill(dc, area, colors::kHighlight);
  }
  ::EndPaint(bar, &paint);
  return 0;
}

// The button's face: a one-pixel edit grey outline, then the button surface with a lighter top
// and left edge while it is up, or the edit grey while it is pressed. Returns the face inside
// the outline.
RECT DrawButtonFace(HDC dc, RECT face, bool pressed, const colors::SurfaceColors& button) {
  HBRUSH outline = ::CreateSolidBrush(ColorOf(colors::kEditGrey));
  ::FrameRect(dc, &face, outline);
  ::DeleteObject(outline);
  ::InflateRect(&face, -1, -1);
  Fill(dc, face, pressed ? colors::kEditGrey : button.background);
  if (!pressed) {
    HPEN light = ::CreatePen(PS_SOLID, 1, ColorOf(colors::kDialogTextBackground));
    HGDIOBJ old = ::SelectObject(dc, light);
    ::MoveToEx(dc, face.left, face.bottom - 1, nullptr);
    ::LineTo(dc, face.left, face.top);
    ::LineTo(dc, face.right, face.top);
    ::SelectObject(dc, old);
    ::DeleteObject(light);
  }
  return face;
}

}  // namespace

unsigned long ColorOf(colors::Rgb rgb) {
  return RGB(rgb.red, rgb.green, rgb.blue);
}

DarkBrushes::DarkBrushes() {
  std::size_t i = 0;
  for (const colors::Surface surface : {colors::Surface::kStatic, colors::Surface::kButton,
                                        colors::Surface::kDialog, colors::Surface::kEdit}) {
    brushes_[i++] = ::CreateSolidBrush(ColorOf(colors::ColorsOf(surface)->background));
  }
}

DarkBrushes::~DarkBrushes() {
  for (void* brush : brushes_) ::DeleteObject(static_cast<HBRUSH>(brush));
}

long long DarkBrushes::colorControl(unsigned long long dcHandle, HWND child,
                                    const res::DialogTemplate& dialog) const {
  using colors::Surface;
  HDC dc = reinterpret_cast<HDC>(dcHandle);
  Surface surface = Surface::kDialog;
  if (child != nullptr) {
    const res::ControlTemplate* control = res::FindControl(dialog, ::GetDlgCtrlID(child));
    const ControlKind kind = control != nullptr ? control->kind : ControlKind::kStatic;
    const bool readOnly = (::GetWindowLongW(child, GWL_STYLE) & ES_READONLY) != 0 &&
                          (kind == ControlKind::kEdit || kind == ControlKind::kMultiLineEdit);
    surface = colors::SurfaceOf(kind, readOnly, ::IsWindowEnabled(child) != FALSE);
  }
  const auto surfaceColors = colors::ColorsOf(surface);
  if (!surfaceColors) return FALSE;
  const bool disabled = child != nullptr && !::IsWindowEnabled(child);
  ::SetTextColor(dc, ColorOf(disabled ? colors::kDisabledText : surfaceColors->text));
  ::SetBkColor(dc, ColorOf(surfaceColors->textBackground));
  const std::size_t brush = surface == Surface::kStatic   ? 0
                            : surface == Surface::kButton ? 1
                            : surface == Surface::kDialog ? 2
                                                          : 3;
  return reinterpret_cast<long long>(brushes_[brush]);
}

void PaintProgressBarDark(HWND bar) {
  ::SetWindowLongPtrW(bar, GWLP_USERDATA, ::GetWindowLongPtrW(bar, GWLP_WNDPROC));
  ::SetWindowLongPtrW(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PaintProgress));
}

bool IsPushButton(const res::ControlTemplate* control) {
  return control != nullptr &&
         (control->kind == ControlKind::kButton || control->kind == ControlKind::kDefaultButton);
}

// The caption centred (greyed while disabled, moved by a pixel while pressed) and the focus
// rectangle while the button has the keyboard focus.
void DrawPushButton(const DRAWITEMSTRUCT& item) {
  const colors::SurfaceColors button = colors::ColorsOf(colors::Surface::kButton).value();
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  HDC dc = item.hDC;
  RECT face = DrawButtonFace(dc, item.rcItem, pressed, button);
  const std::wstring caption = WindowText(item.hwndItem);
  RECT text = face;
  if (pressed) ::OffsetRect(&text, 1, 1);
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc,
                 ColorOf((item.itemState & ODS_DISABLED) ? colors::kDisabledText : button.text));
  const UINT prefix = (item.itemState & ODS_NOACCEL) ? DT_HIDEPREFIX : 0;
  ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | prefix);
  if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) {
    ::InflateRect(&face, -2, -2);
    ::DrawFocusRect(dc, &face);
  }
}

int DefaultButton(HWND window, const res::DialogTemplate& dialog) {
  HWND focus = ::GetFocus();
  if (focus != nullptr && ::GetParent(focus) == window &&
      IsPushButton(res::FindControl(dialog, ::GetDlgCtrlID(focus)))) {
    return ::GetDlgCtrlID(focus);
  }
  for (const res::ControlTemplate& control : dialog.controls) {
    if (control.kind == ControlKind::kDefaultButton) return control.id;
  }
  return 0;
}

}  // namespace vexlo::platform::win32
