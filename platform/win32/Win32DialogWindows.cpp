// The Win32 dialog host's queue window pieces: a modeless window beside the main one and its list
// view (report view of whole rows).
#include <windows.h>
// After windows.h:
#include <commctrl.h>

#include "platform/win32/Win32CodePage.h"
#include "platform/win32/Win32DarkPainting.h"
#include "platform/win32/Win32DialogHost.h"
#include "platform/win32/Win32DialogTemplate.h"
#include "res/ColorScheme.h"
#include "res/QueueDialogTemplate.h"

#include <vector>

namespace vexlo::platform::win32 {

namespace {

// The main window runs in DialogBox's modal loop, which gives only the main window's keys to the
// dialog manager: in the queue window Tab, the arrows and Enter went to the focused control as
// plain keys. That loop calls the message filter hook (MSGF_DIALOGBOX) for every message it takes,
// so the hook hands each message of a window opened beside the main one to that window's
// IsDialogMessage. The hook and the windows are the window thread's own.
thread_local HHOOK filterHook = nullptr;
thread_local std::vector<HWND> besideWindows;

LRESULT CALLBACK FilterDialogMessage(int code, WPARAM w, LPARAM l) {
  if (code == MSGF_DIALOGBOX) {
    MSG* message = reinterpret_cast<MSG*>(l);
    for (HWND window : besideWindows) {
      const bool its = message->hwnd == window || ::IsChild(window, message->hwnd);
      if (its && ::IsDialogMessageW(window, message)) return TRUE;
    }
  }
  return ::CallNextHookEx(filterHook, code, w, l);
}

void TakeKeysOf(HWND window) {
  besideWindows.push_back(window);
  if (filterHook == nullptr) {
    filterHook =
        ::SetWindowsHookExW(WH_MSGFILTER, &FilterDialogMessage, nullptr, ::GetCurrentThreadId());
  }
}

void LeaveKeysOf(HWND window) {
  std::erase(besideWindows, window);
  if (besideWindows.empty() && filterHook != nullptr) {
    ::UnhookWindowsHookEx(filterHook);
    filterHook = nullptr;
  }
}

}  // namespace

hosts::DialogHost* Win32DialogHost::openWindow(int templateId, hosts::DialogEvents& events) {
  std::unique_ptr<Win32DialogHost>& window = windows_[templateId];
  if (!window) {
    const res::DialogTemplate* dialog = res::WindowTemplate(templateId);
    if (dialog == nullptr || modeless_ || window_ == nullptr) {
      windows_.erase(templateId);
      return nullptr;
    }
    window = std::make_unique<Win32DialogHost>(*dialog, window_);
    window->modeless_ = true;
    window->events_ = &events;
    // The main window's modal loop dispatches this window's messages: it is owned, not disabled.
    const std::vector<WORD> bytes = BuildTemplateBytes(*dialog);
    ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr),
                                 reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), window_,
                                 reinterpret_cast<DLGPROC>(&Win32DialogHost::DialogProc),
                                 reinterpret_cast<LPARAM>(window.get()));
    if (window->window_ == nullptr) {
      windows_.erase(templateId);
      return nullptr;
    }
    TakeKeysOf(window->window_);
    RECT owner{};
    ::GetWindowRect(window_, &owner);
    ::SetWindowPos(window->window_, nullptr, owner.right + 8, owner.top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER);
  }
  ::ShowWindow(window->window_, SW_SHOW);
  ::SetForegroundWindow(window->window_);
  return window.get();
}

void Win32DialogHost::closeWindows() {
  for (auto& [id, window] : windows_) {
    if (window->window_ != nullptr) {
      LeaveKeysOf(window->window_);
      ::DestroyWindow(window->window_);  // its events' onDestroy
    }
    window->window_ = nullptr;
    window->events_ = nullptr;
  }
}

void Win32DialogHost::setUpTable(HWND table, const res::ControlTemplate& control) {
  ::SendMessageW(table, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  for (std::size_t column = 0; column < control.list.size(); ++column) {
    std::wstring title = FromCodePage(control.list[column], true);
    RECT width{0, 0, column < control.widths.size() ? control.widths[column] : 40, 0};
    ::MapDialogRect(window_, &width);
    LVCOLUMNW item{};
    item.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    item.pszText = title.data();
    item.cx = width.right;
    item.iSubItem = static_cast<int>(column);
    ::SendMessageW(table, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&item));
  }
  const auto colors = res::colors::ColorsOf(res::colors::Surface::kEdit);
  ::SendMessageW(table, LVM_SETBKCOLOR, 0, ColorOf(colors->background));
  ::SendMessageW(table, LVM_SETTEXTBKCOLOR, 0, ColorOf(colors->textBackground));
  ::SendMessageW(table, LVM_SETTEXTCOLOR, 0, ColorOf(colors->text));
}

long long Win32DialogHost::notify(long long l) {
  const auto* header = reinterpret_cast<const NMHDR*>(l);
  if (header->code != LVN_ITEMCHANGED || settingRows_ || events_ == nullptr) return FALSE;
  const auto* change = reinterpret_cast<const NMLISTVIEW*>(l);
  if ((change->uChanged & LVIF_STATE) != 0 &&
      ((change->uOldState ^ change->uNewState) & LVIS_SELECTED) != 0) {
    events_->onCommand(static_cast<int>(header->idFrom), hosts::ControlEvent::kSelectionChanged);
  }
  return FALSE;
}

void Win32DialogHost::setTableRowCount(int id, std::size_t rows) {
  HWND table = control(id);
  if (table == nullptr) return;
  settingRows_ = true;
  auto count = static_cast<std::size_t>(::SendMessageW(table, LVM_GETITEMCOUNT, 0, 0));
  for (; count > rows; --count) ::SendMessageW(table, LVM_DELETEITEM, count - 1, 0);
  for (; count < rows; ++count) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(count);
    item.pszText = const_cast<wchar_t*>(L"");
    ::SendMessageW(table, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  }
  settingRows_ = false;
}

void Win32DialogHost::setTableRow(int id, std::size_t row, const std::vector<std::string>& cells) {
  HWND table = control(id);
  if (table == nullptr) return;
  for (std::size_t column = 0; column < cells.size(); ++column) {
    std::wstring text = FromCodePage(cells[column]);
    LVITEMW item{};
    item.iSubItem = static_cast<int>(column);
    item.pszText = text.data();
    ::SendMessageW(table, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
  }
}

std::vector<std::size_t> Win32DialogHost::selectedRows(int id) const {
  std::vector<std::size_t> rows;
  HWND table = control(id);
  if (table == nullptr) return rows;
  for (auto row = ::SendMessageW(table, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
       row >= 0; row = ::SendMessageW(table, LVM_GETNEXTITEM, row, LVNI_SELECTED)) {
    rows.push_back(static_cast<std::size_t>(row));
  }
  return rows;
}

void Win32DialogHost::selectRows(int id, const std::vector<std::size_t>& rows) {
  HWND table = control(id);
  if (table == nullptr) return;
  settingRows_ = true;
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED;
  item.state = 0;
  ::SendMessageW(table, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
  item.state = LVIS_SELECTED;
  for (std::size_t row : rows) {
    ::SendMessageW(table, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
  }
  settingRows_ = false;
}

}  // namespace vexlo::platform::win32
