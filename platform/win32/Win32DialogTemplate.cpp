#include "platform/win32/Win32DialogTemplate.h"

#include <windows.h>
// After windows.h:
#include <commctrl.h>

#include "platform/win32/Win32CodePage.h"

namespace vexlo::platform::win32 {

namespace {

using res::ControlKind;

// The dialog template in memory: DLGTEMPLATE, no menu (made in WM_INITDIALOG), the default class,
// the title, the font; then each control, DWORD aligned, with its class as an atom or a name.
class TemplateWriter {
 public:
  void word(WORD value) { bytes_.push_back(value); }
  void dword(DWORD value) {
    word(LOWORD(value));
    word(HIWORD(value));
  }
  void text(const std::wstring& value) {
    for (wchar_t c : value) word(static_cast<WORD>(c));
    word(0);
  }
  void align() {
    if (bytes_.size() % 2 != 0) word(0);
  }
  std::vector<WORD> bytes() const { return bytes_; }

 private:
  std::vector<WORD> bytes_;
};

struct ControlClass {
  WORD atom = 0;  // 0x80 button, 0x81 edit, 0x82 static, 0x85 combo box
  const wchar_t* name = nullptr;
  DWORD style = 0;
};

ControlClass ClassOf(const res::ControlTemplate& control) {
  const DWORD group = (control.flags & res::kGroupStart) ? WS_GROUP : 0;
  switch (control.kind) {
    case ControlKind::kEdit:
      return {0x81, nullptr, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL};
    case ControlKind::kMultiLineEdit:
      // The log pane: what the log holds, never edited by hand.
      return {0x81, nullptr,
              WS_BORDER | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY};
    case ControlKind::kButton:
    case ControlKind::kDefaultButton:
      // Drawn in the dark colours by the dialog (WM_DRAWITEM); the default one is told to the
      // dialog manager through DM_GETDEFID.
      return {0x80, nullptr, WS_TABSTOP | BS_OWNERDRAW};
    case ControlKind::kCheckBox:
      return {0x80, nullptr, WS_TABSTOP | BS_AUTOCHECKBOX};
    case ControlKind::kRadio:
      return {0x80, nullptr, group | (group ? WS_TABSTOP : 0) | BS_AUTORADIOBUTTON};
    case ControlKind::kDropDownList:
      return {0x85, nullptr, WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST};
    case ControlKind::kStatic:
      return {0x82, nullptr, SS_LEFT};
    case ControlKind::kCentredStatic:
      return {0x82, nullptr, SS_CENTER};
    case ControlKind::kPicture:
      return {0x82, nullptr, SS_BITMAP | SS_CENTERIMAGE};
    case ControlKind::kProgressBar:
      return {0, PROGRESS_CLASSW, 0};
    case ControlKind::kEtchedFrame:
      return {0x82, nullptr, SS_ETCHEDFRAME};
    case ControlKind::kEtchedLine:
      return {0x82, nullptr, SS_ETCHEDHORZ};
    case ControlKind::kTable:
      return {0, WC_LISTVIEWW, WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS};
  }
  return {0x82, nullptr, SS_LEFT};
}

void WriteDialog(TemplateWriter& t, const res::DialogTemplate& dialog) {
  DWORD style = DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  if (dialog.minimizeBox) style |= WS_MINIMIZEBOX;
  t.dword(style);
  t.dword(0);  // extended style
  t.word(static_cast<WORD>(dialog.controls.size()));
  t.word(0);
  t.word(0);
  t.word(static_cast<WORD>(dialog.width));
  t.word(static_cast<WORD>(dialog.height));
  t.word(0);  // no menu in the template
  t.word(0);  // the dialog class
  t.text(FromCodePage(dialog.title, true));
  t.word(static_cast<WORD>(dialog.fontPointSize));
  t.text(FromCodePage(dialog.fontFamily, true));
}

void WriteControl(TemplateWriter& t, const res::ControlTemplate& control) {
  t.align();
  const ControlClass kind = ClassOf(control);
  DWORD style = WS_CHILD | kind.style;
  // A hidden control is created invisible and disabled.
  style |= (control.flags & res::kHidden) ? WS_DISABLED : WS_VISIBLE;
  t.dword(style);
  t.dword(0);
  t.word(static_cast<WORD>(control.rect.x));
  t.word(static_cast<WORD>(control.rect.y));
  t.word(static_cast<WORD>(control.rect.width));
  t.word(static_cast<WORD>(control.rect.height));
  t.word(static_cast<WORD>(control.id == 0 ? -1 : control.id));
  if (kind.name != nullptr) {
    t.text(kind.name);
  } else {
    t.word(0xFFFF);
    t.word(kind.atom);
  }
  t.text(FromCodePage(control.caption, true));
  t.word(0);  // no creation data
}

}  // namespace

std::vector<unsigned short> BuildTemplateBytes(const res::DialogTemplate& dialog) {
  TemplateWriter t;
  WriteDialog(t, dialog);
  for (const res::ControlTemplate& control : dialog.controls) WriteControl(t, control);
  return t.bytes();
}

void AddMenuBar(HWND window, const res::DialogTemplate& dialog) {
  if (dialog.menu.empty()) return;
  HMENU bar = ::CreateMenu();
  for (const res::MenuPopup& popup : dialog.menu) {
    HMENU items = ::CreatePopupMenu();
    for (const res::MenuItem& item : popup.items) {
      ::AppendMenuW(items, MF_STRING, static_cast<UINT_PTR>(item.command),
                    FromCodePage(item.caption, true).c_str());
    }
    ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(items),
                  FromCodePage(popup.caption, true).c_str());
  }
  ::SetMenu(window, bar);
  // The menu bar takes its height from the client area: give the dialog its full size.
  RECT client{0, 0, dialog.width, dialog.height};
  ::MapDialogRect(window, &client);
  ::AdjustWindowRectEx(&client, static_cast<DWORD>(::GetWindowLongW(window, GWL_STYLE)), TRUE,
                       static_cast<DWORD>(::GetWindowLongW(window, GWL_EXSTYLE)));
  ::SetWindowPos(window, nullptr, 0, 0, client.right - client.left, client.bottom - client.top,
                 SWP_NOMOVE | SWP_NOZORDER);
}

}  // namespace vexlo::platform::win32
