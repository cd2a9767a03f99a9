#include "platform/win32/CheckMarks.h"

#include <windows.h>
// After windows.h:
#include <commctrl.h>

#include <algorithm>
#include <string>

#include "res/ColorScheme.h"

namespace vexlo::platform::win32 {

namespace {

constexpr UINT_PTR kSubclassId = 0x5643;
constexpr int kBoxPixelsAt96Dpi = 13;  // the system's own box at 96 dots per inch

COLORREF Color(res::colors::Rgb rgb) {
  return RGB(rgb.red, rgb.green, rgb.blue);
}

bool IsRadio(HWND button) {
  const LONG type = ::GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK;
  return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

// What the picture shows of the button's state, asked of the button's own procedure (never
// through this subclass again): checked, pushed, focused, enabled, and the keyboard cues.
LRESULT StateKey(HWND button) {
  const LRESULT state = ::DefSubclassProc(button, BM_GETSTATE, 0, 0) &
                        (BST_CHECKED | BST_INDETERMINATE | BST_PUSHED | BST_FOCUS);
  const LRESULT cues = ::DefSubclassProc(button, WM_QUERYUISTATE, 0, 0);
  return state | (::IsWindowEnabled(button) ? 0 : 0x1000) | (cues << 16);
}

void Draw(HWND button, HDC dc) {
  namespace colors = res::colors;
  RECT area{};
  ::GetClientRect(button, &area);
  // The dialog's colours for the control, asked for as the button itself asks for them.
  auto* brush = reinterpret_cast<HBRUSH>(::SendMessageW(
      ::GetParent(button), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
      reinterpret_cast<LPARAM>(button)));
  if (brush == nullptr) brush = ::GetSysColorBrush(COLOR_BTNFACE);
  ::FillRect(dc, &area, brush);
  const COLORREF text = ::GetTextColor(dc);
  const LRESULT state = ::DefSubclassProc(button, BM_GETSTATE, 0, 0);
  const LRESULT cues = ::DefSubclassProc(button, WM_QUERYUISTATE, 0, 0);
  const bool enabled = ::IsWindowEnabled(button) != FALSE;
  auto* font = reinterpret_cast<HFONT>(::SendMessageW(button, WM_GETFONT, 0, 0));
  HGDIOBJ oldFont = ::SelectObject(dc, font != nullptr ? font : ::GetStockObject(DEFAULT_GUI_FONT));

  // The box (or circle): edit grey, lighter while pushed, flat while disabled; a grey outline.
  const int size = ::MulDiv(kBoxPixelsAt96Dpi, ::GetDeviceCaps(dc, LOGPIXELSY), 96);
  const int top = area.top + (area.bottom - area.top - size) / 2;
  RECT box{area.left, top, area.left + size, top + size};
  const colors::Rgb fill = (state & BST_PUSHED) ? colors::kDialogTextBackground
                           : enabled            ? colors::kEditGrey
                                                : colors::kDialogGrey;
  const colors::Rgb ink = enabled ? colors::kTextWhite : colors::kDisabledText;
  HBRUSH face = ::CreateSolidBrush(Color(fill));
  HPEN outline = ::CreatePen(PS_SOLID, 1, Color(colors::kDialogTextBackground));
  HGDIOBJ oldBrush = ::SelectObject(dc, face);
  HGDIOBJ oldPen = ::SelectObject(dc, outline);
  const bool radio = IsRadio(button);
  if (radio) {
    ::Ellipse(dc, box.left, box.top, box.right, box.bottom);
  } else {
    ::Rectangle(dc, box.left, box.top, box.right, box.bottom);
  }
  // The mark: a dot, a tick, or a bar for the third state.
  HBRUSH markBrush = ::CreateSolidBrush(Color(ink));
  HPEN markPen = ::CreatePen(PS_SOLID, std::max(2, size / 6), Color(ink));
  ::SelectObject(dc, markBrush);
  ::SelectObject(dc, markPen);
  if (radio && (state & BST_CHECKED)) {
    const int inset = size * 3 / 10;
    ::SelectObject(dc, ::GetStockObject(NULL_PEN));
    ::Ellipse(dc, box.left + inset, box.top + inset, box.right - inset + 1, box.bottom - inset + 1);
  } else if (!radio && (state & BST_CHECKED)) {
    const POINT tick[] = {{box.left + size / 4, box.top + size / 2},
                          {box.left + size * 5 / 12, box.bottom - size / 4 - 1},
                          {box.right - size / 4, box.top + size / 4}};
    ::Polyline(dc, tick, 3);
  } else if (!radio && (state & BST_INDETERMINATE)) {
    RECT bar{box.left + size / 4, box.top + size * 2 / 5, box.right - size / 4,
             box.bottom - size * 2 / 5};
    ::FillRect(dc, &bar, markBrush);
  }
  ::SelectObject(dc, oldBrush);
  ::SelectObject(dc, oldPen);
  ::DeleteObject(face);
  ::DeleteObject(outline);
  ::DeleteObject(markBrush);
  ::DeleteObject(markPen);

  // The caption beside it, in the colour the dialog set (dim while disabled), and the focus
  // rectangle around it.
  std::wstring caption(static_cast<std::size_t>(::GetWindowTextLengthW(button)) + 1, L'\0');
  caption.resize(static_cast<std::size_t>(
      ::GetWindowTextW(button, caption.data(), static_cast<int>(caption.size()))));
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc, &metrics);
  RECT label{box.right + std::max(3, static_cast<int>(metrics.tmAveCharWidth) / 2), area.top,
             area.right, area.bottom};
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, enabled ? text : Color(colors::kDisabledText));
  const UINT prefix = (cues & UISF_HIDEACCEL) ? DT_HIDEPREFIX : 0;
  const UINT format = DT_LEFT | DT_VCENTER | DT_SINGLELINE | prefix;
  ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &label, format);
  if ((state & BST_FOCUS) && !(cues & UISF_HIDEFOCUS) && !caption.empty()) {
    RECT used = label;
    ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &used,
                format | DT_CALCRECT);
    const int height = used.bottom - used.top;
    used.top = label.top + (label.bottom - label.top - height) / 2;
    used.bottom = used.top + height;
    ::InflateRect(&used, 1, 1);
    ::IntersectRect(&used, &used, &area);
    ::DrawFocusRect(dc, &used);
  }
  ::SelectObject(dc, oldFont);
}

void Repaint(HWND button) {
  if (!::IsWindowVisible(button)) return;
  HDC dc = ::GetDC(button);
  Draw(button, dc);
  ::ReleaseDC(button, dc);
}

LRESULT CALLBACK Subclass(HWND button, UINT message, WPARAM w, LPARAM l, UINT_PTR, DWORD_PTR) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = ::BeginPaint(button, &paint);
      Draw(button, dc);
      ::EndPaint(button, &paint);
      return 0;
    }
    case WM_PRINTCLIENT:
      Draw(button, reinterpret_cast<HDC>(w));
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_NCDESTROY:
      ::RemoveWindowSubclass(button, &Subclass, kSubclassId);
      return ::DefSubclassProc(button, message, w, l);
    default:
      break;
  }
  // The button draws itself at once, outside WM_PAINT, when its state, text, enabled state or
  // keyboard cues change: the dark picture goes straight over it.
  const LRESULT before = StateKey(button);
  const LRESULT result = ::DefSubclassProc(button, message, w, l);
  if (message == WM_SETTEXT || message == WM_ENABLE || message == WM_UPDATEUISTATE ||
      StateKey(button) != before) {
    Repaint(button);
  }
  return result;
}

}  // namespace

void PaintDark(HWND button) {
  ::SetWindowSubclass(button, &Subclass, kSubclassId, 0);
  ::InvalidateRect(button, nullptr, TRUE);
}

}  // namespace vexlo::platform::win32
