#include "platform/win32/Win32DialogHost.h"

#include <windows.h>
// After windows.h:
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <span>

#include "hosts/AboutEvents.h"
#include "platform/win32/CheckMarks.h"
#include "platform/win32/Win32CodePage.h"
#include "platform/win32/Win32DialogTemplate.h"
#include "platform/win32/Win32PictureLoader.h"
#include "platform/win32/Win32WindowBitmap.h"
#include "res/AboutDialogTemplate.h"
#include "res/ControlIds.h"

namespace vexlo::platform::win32 {

namespace {

using res::ControlKind;

constexpr UINT kPostedMessage = WM_APP + 1;
constexpr UINT_PTR kScreenshotTimer = 1;

}  // namespace

Win32DialogHost::Win32DialogHost(const res::DialogTemplate& dialog, HWND owner)
    : template_(dialog), owner_(owner) {
  INITCOMMONCONTROLSEX controls{sizeof controls,
                                ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
  ::InitCommonControlsEx(&controls);
}

Win32DialogHost::~Win32DialogHost() {
  if (picture_ != nullptr) ::DeleteObject(static_cast<HBITMAP>(picture_));
}

int Win32DialogHost::run(hosts::DialogEvents& events) {
  events_ = &events;
  const std::vector<WORD> dialog = BuildTemplateBytes(template_);
  const INT_PTR result = ::DialogBoxIndirectParamW(
      ::GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(dialog.data()), owner_,
      reinterpret_cast<DLGPROC>(&Win32DialogHost::DialogProc), reinterpret_cast<LPARAM>(this));
  events_ = nullptr;
  return static_cast<int>(result);
}

long long __stdcall Win32DialogHost::DialogProc(HWND window, unsigned message, unsigned long long w,
                                                long long l) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(window, DWLP_USER, static_cast<LONG_PTR>(l));
    reinterpret_cast<Win32DialogHost*>(l)->window_ = window;
  }
  auto* host = reinterpret_cast<Win32DialogHost*>(::GetWindowLongPtrW(window, DWLP_USER));
  return host != nullptr ? host->handle(message, w, l) : FALSE;
}

long long Win32DialogHost::handle(unsigned message, unsigned long long w, long long l) {
  switch (message) {
    case WM_INITDIALOG:
      return initDialog();
    case WM_COMMAND:
      return command(LOWORD(w), HIWORD(w), l);
    case WM_DRAWITEM:
      return drawItem(l);
    case DM_GETDEFID:
      return answerDefaultButton();
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
      return brushes_.colorControl(
          w, message == WM_CTLCOLORDLG ? nullptr : reinterpret_cast<HWND>(l), template_);
    case WM_SETCURSOR:
      return setCursor();
    case WM_TIMER:
      if (w == kScreenshotTimer) lookForScreenshot();
      return TRUE;
    case WM_DROPFILES:
      dropFiles(reinterpret_cast<HDROP>(w));
      return TRUE;
    case kPostedMessage:
      posts_->runAll();
      return TRUE;
    case WM_NOTIFY:
      return notify(l);
    case WM_DESTROY:
      destroy();
      return FALSE;
    default:
      return FALSE;
  }
}

long long Win32DialogHost::initDialog() {
  posts_->open([window = window_] { ::PostMessageW(window, kPostedMessage, 0, 0); });
  AddMenuBar(window_, template_);
  setUpControls();
  if (template_.id == res::kDialogMain || modeless_) ::DragAcceptFiles(window_, TRUE);
  if (owner_ == nullptr) ShowProgramIcon(window_);
  if (!screenshot_.empty()) {
    ::SetTimer(window_, kScreenshotTimer,
               static_cast<UINT>(hosts::ScreenshotWait::kInterval.count()), nullptr);
  }
  if (events_ != nullptr) events_->onInitDialog();
  return TRUE;
}

void Win32DialogHost::setUpControls() {
  // The controls are the dialog's children in template order.
  HWND child = ::GetWindow(window_, GW_CHILD);
  for (const res::ControlTemplate& control : template_.controls) {
    for (std::string_view entry :
         control.kind == ControlKind::kTable ? std::span<const std::string_view>() : control.list) {
      ::SendDlgItemMessageW(window_, control.id, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(FromCodePage(entry, true).c_str()));
    }
    if (control.kind == ControlKind::kProgressBar) {
      PaintProgressBarDark(child);
    } else if (control.kind == ControlKind::kPicture && picture_ == nullptr) {
      picture_ = ShowAboutPicture(child);
    } else if (control.kind == ControlKind::kTable) {
      setUpTable(child, control);
    } else if (control.kind == ControlKind::kCheckBox || control.kind == ControlKind::kRadio) {
      PaintDark(child);  // CheckMarks.cpp
    }
    child = ::GetWindow(child, GW_HWNDNEXT);
  }
}

long long Win32DialogHost::command(int id, int code, long long l) {
  if (events_ == nullptr) return FALSE;
  if (code == CBN_SELCHANGE) {
    events_->onCommand(id, hosts::ControlEvent::kSelectionChanged);
  } else if (code == BN_CLICKED || l == 0) {  // buttons, menu commands, Enter and Escape
    events_->onCommand(id, hosts::ControlEvent::kClicked);
  } else if (code == BN_DOUBLECLICKED && IsPushButton(res::FindControl(template_, id))) {
    // An owner-drawn button tells the second click of a double click as a double click; a
    // push button clicks twice.
    events_->onCommand(id, hosts::ControlEvent::kClicked);
  }
  return TRUE;
}

long long Win32DialogHost::drawItem(long long l) {
  const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(l);
  if (item->CtlType != ODT_BUTTON) return FALSE;
  DrawPushButton(*item);
  return TRUE;
}

long long Win32DialogHost::answerDefaultButton() {
  const int id = DefaultButton(window_, template_);
  if (id == 0) return FALSE;
  ::SetWindowLongPtrW(window_, DWLP_MSGRESULT, MAKELRESULT(id, DC_HASDEFID));
  return TRUE;
}

long long Win32DialogHost::setCursor() {
  if (waitCursorDepth_ == 0) return FALSE;
  ::SetCursor(::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
  ::SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE);
  return TRUE;
}

void Win32DialogHost::lookForScreenshot() {
  const hosts::ScreenshotWait::Step step = screenshotWait_.look(*this, ::IsWindowVisible(window_));
  if (step == hosts::ScreenshotWait::Step::kWait) return;
  ::KillTimer(window_, kScreenshotTimer);
  if (step == hosts::ScreenshotWait::Step::kTake) {
    ::RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    screenshotWritten_ = WriteWindowBitmap(window_, screenshot_);
  }
  if (!screenshotWritten_) std::fprintf(stderr, "vexlo: could not write %s\n", screenshot_.c_str());
  ::PostMessageW(window_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

void Win32DialogHost::destroy() {
  posts_->close();
  closeWindows();
  if (events_ != nullptr) events_->onDestroy();
  aids_.release();
}

HWND Win32DialogHost::control(int id) const {
  return window_ != nullptr ? ::GetDlgItem(window_, id) : nullptr;
}

void Win32DialogHost::revealInFileManager(const std::string& path) {
  const std::wstring arguments = L"/select,\"" + FromCodePage(path) + L"\"";
  ::ShellExecuteW(window_, nullptr, L"explorer.exe", arguments.c_str(), nullptr, SW_SHOWNORMAL);
}

void Win32DialogHost::showAbout() {
  Win32DialogHost about(res::AboutDialogTemplate(), window_);
  hosts::AboutEvents events(about);
  about.run(events);
}

void Win32DialogHost::post(std::function<void()> task) {
  const std::shared_ptr<hosts::PostQueue> posts = posts_;
  posts->post(std::move(task));
}

}  // namespace vexlo::platform::win32
