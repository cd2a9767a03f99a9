#include "platform/win32/Win32DesktopAids.h"

#include <windows.h>
// After windows.h:
#include <objbase.h>
#include <shellapi.h>
#include <shobjidl.h>

#include <algorithm>

#include "hosts/FileDropTarget.h"
#include "platform/win32/Win32CodePage.h"
#include "platform/win32/Win32DialogHost.h"
#include "res/ControlIds.h"
#include "res/MainDialogTemplate.h"

namespace vexlo::platform::win32 {

namespace {

constexpr UINT kIconId = 1;
// The clipboard is held by another program for a moment at most; the window never waits longer.
constexpr int kClipboardTries = 5;
constexpr DWORD kClipboardPauseMs = 10;

bool IsSurrogate(wchar_t c, wchar_t first, wchar_t last) {
  return c >= first && c <= last;
}

}  // namespace

std::wstring FitText(std::wstring text, std::size_t capacity, bool keepEnd) {
  if (text.size() < capacity) return text;
  const std::wstring dots = L"...";
  std::size_t keep = capacity - 1 - dots.size();
  if (keepEnd) {
    std::size_t from = text.size() - keep;
    if (IsSurrogate(text[from], 0xDC00, 0xDFFF)) ++from;  // not the low half of a pair
    return dots + text.substr(from);
  }
  if (IsSurrogate(text[keep - 1], 0xD800, 0xDBFF)) --keep;  // not the high half of a pair
  return text.substr(0, keep) + dots;
}

HICON ProgramIcon(int pixels) {
  auto* icon = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr),
                                               MAKEINTRESOURCEW(res::kIconMain), IMAGE_ICON,
                                               pixels, pixels, LR_SHARED));
  return icon != nullptr ? icon
                         : ::LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
}

void ShowProgramIcon(HWND window) {
  ::SendMessageW(window, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(ProgramIcon(::GetSystemMetrics(SM_CXICON))));
  ::SendMessageW(window, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(ProgramIcon(::GetSystemMetrics(SM_CXSMICON))));
}

void DesktopAids::notify(HWND window, const std::string& summary, const std::string& body) {
  if (window == nullptr) return;
  NOTIFYICONDATAW icon{};
  icon.cbSize = sizeof icon;
  icon.hWnd = window;
  icon.uID = kIconId;
  icon.uFlags = NIF_INFO;
  // The program's icon in the balloon as in the notification area.
  icon.dwInfoFlags = NIIF_USER | NIIF_LARGE_ICON;
  icon.hBalloonIcon = ProgramIcon(::GetSystemMetrics(SM_CXICON));
  const std::wstring title = FitText(FromCodePage(summary), std::size(icon.szInfoTitle), false);
  const std::wstring text = FitText(FromCodePage(body), std::size(icon.szInfo), true);
  std::copy(title.begin(), title.end(), icon.szInfoTitle);
  std::copy(text.begin(), text.end(), icon.szInfo);
  if (iconWindow_ == nullptr) {
    icon.uFlags |= NIF_ICON | NIF_TIP;
    icon.hIcon = ProgramIcon(::GetSystemMetrics(SM_CXSMICON));
    const std::wstring tip = L"Vexlo";
    std::copy(tip.begin(), tip.end(), icon.szTip);
    if (!::Shell_NotifyIconW(NIM_ADD, &icon)) return;  // no notification area
    iconWindow_ = window;
  } else {
    ::Shell_NotifyIconW(NIM_MODIFY, &icon);
  }
}

void DesktopAids::setProgress(HWND window, int position, bool visible) {
  if (window == nullptr || (position == position_ && visible == visible_)) return;
  position_ = position;
  visible_ = visible;
  if (!taskbarTried_) {
    // Asked for on first use, when the window and its taskbar button have long been there.
    taskbarTried_ = true;
    const HRESULT started = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    comStarted_ = SUCCEEDED(started);  // S_FALSE too: each success is paired with an uninit
    ITaskbarList3* list = nullptr;
    if (started != RPC_E_CHANGED_MODE && FAILED(started)) return;
    if (FAILED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ITaskbarList3, reinterpret_cast<void**>(&list)))) {
      return;
    }
    if (FAILED(list->HrInit())) {
      list->Release();
      return;
    }
    taskbar_ = list;
  }
  auto* list = static_cast<ITaskbarList3*>(taskbar_);
  if (list == nullptr) return;
  list->SetProgressState(window, visible ? TBPF_NORMAL : TBPF_NOPROGRESS);
  if (visible) {
    list->SetProgressValue(window, static_cast<ULONGLONG>(std::clamp(position, 0, 100)), 100);
  }
}

void DesktopAids::release() {
  if (iconWindow_ != nullptr) {
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = iconWindow_;
    icon.uID = kIconId;
    ::Shell_NotifyIconW(NIM_DELETE, &icon);
    iconWindow_ = nullptr;
  }
  if (taskbar_ != nullptr) static_cast<ITaskbarList3*>(taskbar_)->Release();
  taskbar_ = nullptr;
  if (comStarted_) ::CoUninitialize();
  comStarted_ = false;
}

// The window aids of the dialog host live here, beside the services they use.

void Win32DialogHost::setClipboardText(const std::string& text) {
  if (window_ == nullptr) return;
  bool open = false;
  for (int attempt = 0; attempt < kClipboardTries && !open; ++attempt) {
    if (attempt > 0) ::Sleep(kClipboardPauseMs);
    open = ::OpenClipboard(window_) != FALSE;
  }
  if (!open) return;
  ::EmptyClipboard();
  // The text is in the ANSI code page, as the system reads CF_TEXT; the clipboard owns the copy
  // once it takes it.
  if (HGLOBAL copy = ::GlobalAlloc(GMEM_MOVEABLE, text.size() + 1)) {
    auto* bytes = static_cast<char*>(::GlobalLock(copy));
    std::copy(text.begin(), text.end(), bytes);
    bytes[text.size()] = '\0';
    ::GlobalUnlock(copy);
    if (::SetClipboardData(CF_TEXT, copy) == nullptr) ::GlobalFree(copy);
  }
  ::CloseClipboard();
}

bool Win32DialogHost::windowActive() const {
  // The window, or a window it owns (the About box, a file dialog), is in the foreground.
  for (HWND front = ::GetForegroundWindow(); front != nullptr;
       front = ::GetWindow(front, GW_OWNER)) {
    if (front == window_) return true;
  }
  return false;
}

void Win32DialogHost::notifyDesktop(const std::string& summary, const std::string& body) {
  aids_.notify(window_, summary, body);
}

void Win32DialogHost::setTaskProgress(int position, bool visible) {
  aids_.setProgress(window_, position, visible);
}

void Win32DialogHost::dropFiles(void* dropHandle) {
  HDROP drop = static_cast<HDROP>(dropHandle);
  POINT point{};
  ::DragQueryPoint(drop, &point);
  // Each file as the code page spells it; a name it cannot hold is given as "" (refused with a
  // line), never turned into another name.
  std::vector<std::string> files(::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0));
  for (UINT i = 0; i < files.size(); ++i) {
    std::wstring name(static_cast<std::size_t>(::DragQueryFileW(drop, i, nullptr, 0)) + 1, L'\0');
    name.resize(::DragQueryFileW(drop, i, name.data(), static_cast<UINT>(name.size())));
    if (!ToCodePage(name, files[i])) files[i].clear();
  }
  ::DragFinish(drop);
  const hosts::FileDropTarget target = hosts::DropTargetOf(
      template_, files,
      [&](const res::DialogRect& frame) {
        RECT pixels{frame.x, frame.y, frame.x + frame.width, frame.y + frame.height};
        ::MapDialogRect(window_, &pixels);
        return ::PtInRect(&pixels, point) != FALSE;
      },
      [this](int edit) {
        HWND line = control(edit);
        return line != nullptr && ::IsWindowEnabled(line) &&
               (::GetWindowLongW(line, GWL_STYLE) & ES_READONLY) == 0;
      });
  if (target.kind == hosts::FileDropTarget::Kind::kPathRow) {
    setText(target.edit, files.front());
  } else if (target.kind == hosts::FileDropTarget::Kind::kWindowLogic && events_ != nullptr) {
    events_->onFilesDropped(files);
  }
}

}  // namespace vexlo::platform::win32
