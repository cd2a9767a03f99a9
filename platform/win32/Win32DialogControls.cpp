// The Win32 dialog host's reads and writes of its controls, by control ID: texts in the code page,
// lists, marks, states (a menu command's are its menu item's), the bar, the cursor, the size.
#include <windows.h>
// After windows.h:
#include <commctrl.h>

#include <algorithm>

#include "platform/win32/Win32CodePage.h"
#include "platform/win32/Win32DialogHost.h"
#include "res/ControlIds.h"

namespace vexlo::platform::win32 {

std::string Win32DialogHost::text(int id) const {
  HWND child = control(id);
  if (child == nullptr) return {};
  // A character the code page cannot hold becomes '?', so the text never names another file.
  return ToCodePageMarked(WindowText(child));
}

void Win32DialogHost::setText(int id, std::string_view text) {
  if (HWND child = control(id)) ::SetWindowTextW(child, FromCodePage(text).c_str());
}

void Win32DialogHost::appendText(int id, std::string_view text) {
  HWND child = control(id);
  if (child == nullptr) return;
  const int end = ::GetWindowTextLengthW(child);
  ::SendMessageW(child, EM_SETSEL, static_cast<WPARAM>(end), static_cast<LPARAM>(end));
  ::SendMessageW(child, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(FromCodePage(text).c_str()));
  ::SendMessageW(child, EM_SCROLLCARET, 0, 0);
}

int Win32DialogHost::listIndex(int id) const {
  HWND child = control(id);
  return child != nullptr ? static_cast<int>(::SendMessageW(child, CB_GETCURSEL, 0, 0)) : -1;
}

void Win32DialogHost::setListIndex(int id, int index) {
  if (HWND child = control(id)) ::SendMessageW(child, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

bool Win32DialogHost::checked(int id) const {
  HWND child = control(id);
  return child != nullptr && ::SendMessageW(child, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32DialogHost::setChecked(int id, bool on) {
  if (HWND child = control(id)) {
    ::SendMessageW(child, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
  }
}

// A menu command has no window: its state is the menu item's.
bool Win32DialogHost::enabled(int id) const {
  if (HWND child = control(id)) return ::IsWindowEnabled(child);
  HMENU menu = window_ != nullptr ? ::GetMenu(window_) : nullptr;
  const UINT state = menu != nullptr ? ::GetMenuState(menu, id, MF_BYCOMMAND) : ~0u;
  return state != ~0u && (state & (MF_GRAYED | MF_DISABLED)) == 0;
}

void Win32DialogHost::setEnabled(int id, bool on) {
  if (HWND child = control(id)) {
    ::EnableWindow(child, on);
  } else if (HMENU menu = window_ != nullptr ? ::GetMenu(window_) : nullptr) {
    ::EnableMenuItem(menu, id, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
  }
}

bool Win32DialogHost::visible(int id) const {
  HWND child = control(id);
  return child != nullptr && (::GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Win32DialogHost::setVisible(int id, bool on) {
  if (HWND child = control(id)) ::ShowWindow(child, on ? SW_SHOW : SW_HIDE);
}

void Win32DialogHost::setReadOnly(int id, bool readOnly) {
  if (HWND child = control(id)) ::SendMessageW(child, EM_SETREADONLY, readOnly, 0);
}

void Win32DialogHost::setProgress(int position) {
  progress_ = std::clamp(position, 0, 100);
  if (HWND child = control(res::id::kProgress)) {
    ::SendMessageW(child, PBM_SETPOS, static_cast<WPARAM>(progress_), 0);
  }
}

void Win32DialogHost::setWaitCursor(bool on) {
  waitCursorDepth_ = std::max(0, waitCursorDepth_ + (on ? 1 : -1));
  ::SetCursor(::LoadCursorW(
      nullptr, reinterpret_cast<LPCWSTR>(waitCursorDepth_ > 0 ? IDC_WAIT : IDC_ARROW)));
}

void Win32DialogHost::resizeWindow(int width, int height) {
  if (window_ != nullptr) {
    ::SetWindowPos(window_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
  }
}

void Win32DialogHost::endDialog(int result) {
  if (window_ != nullptr && modeless_) {
    ::ShowWindow(window_, SW_HIDE);
  } else if (window_ != nullptr) {
    ::EndDialog(window_, result);
  }
}

}  // namespace vexlo::platform::win32
