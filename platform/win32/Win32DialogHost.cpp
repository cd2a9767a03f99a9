#include "platform/win32/Win32DialogHost.h"

#include <windows.h>
// After windows.h:
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdio>

#include "platform/win32/CheckMarks.h"
#include "res/AboutDialogTemplate.h"
#include "res/ColorScheme.h"
#include "res/ControlIds.h"

namespace vexlo::platform::win32 {

namespace {

using res::ControlKind;

constexpr UINT kPostedMessage = WM_APP + 1;
constexpr UINT_PTR kScreenshotTimer = 1;

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
  const WORD* data() const { return bytes_.data(); }
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

TemplateWriter BuildTemplate(const res::DialogTemplate& dialog) {
  TemplateWriter t;
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
  for (const res::ControlTemplate& control : dialog.controls) {
    t.align();
    const ControlClass kind = ClassOf(control);
    DWORD controlStyle = WS_CHILD | kind.style;
    if (control.flags & res::kHidden) {
      controlStyle |= WS_DISABLED;
    } else {
      controlStyle |= WS_VISIBLE;
    }
    t.dword(controlStyle);
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
  return t;
}

COLORREF Color(res::colors::Rgb rgb) {
  return RGB(rgb.red, rgb.green, rgb.blue);
}

void Fill(HDC dc, const RECT& area, res::colors::Rgb rgb) {
  HBRUSH brush = ::CreateSolidBrush(Color(rgb));
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
  Fill(dc, area, res::colors::kEditGrey);
  const auto low = static_cast<int>(::SendMessageW(bar, PBM_GETRANGE, TRUE, 0));
  const auto high = static_cast<int>(::SendMessageW(bar, PBM_GETRANGE, FALSE, 0));
  const auto position = static_cast<int>(::SendMessageW(bar, PBM_GETPOS, 0, 0));
  ::InflateRect(&area, -1, -1);
  if (high > low && position > low) {
    area.right = area.left + ::MulDiv(area.right - area.left, position - low, high - low);
    Fill(dc, area, res::colors::kHighlight);
  }
  ::EndPaint(bar, &paint);
  return 0;
}

bool IsPushButton(const res::ControlTemplate* control) {
  return control != nullptr &&
         (control->kind == ControlKind::kButton || control->kind == ControlKind::kDefaultButton);
}

// A push button in the dark colours: the button surface with a lighter top and left edge while it
// is up and the edit grey while it is pressed, a one-pixel edit grey outline, the caption centred
// (greyed while disabled) and the focus rectangle while it has the keyboard focus.
void DrawButton(const DRAWITEMSTRUCT& item) {
  namespace colors = res::colors;
  const colors::SurfaceColors button = colors::ColorsOf(colors::Surface::kButton).value();
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  HDC dc = item.hDC;
  RECT face = item.rcItem;
  HBRUSH outline = ::CreateSolidBrush(Color(colors::kEditGrey));
  ::FrameRect(dc, &face, outline);
  ::DeleteObject(outline);
  ::InflateRect(&face, -1, -1);
  Fill(dc, face, pressed ? colors::kEditGrey : button.background);
  if (!pressed) {
    HPEN light = ::CreatePen(PS_SOLID, 1, Color(colors::kDialogTextBackground));
    HGDIOBJ old = ::SelectObject(dc, light);
    ::MoveToEx(dc, face.left, face.bottom - 1, nullptr);
    ::LineTo(dc, face.left, face.top);
    ::LineTo(dc, face.right, face.top);
    ::SelectObject(dc, old);
    ::DeleteObject(light);
  }
  std::wstring caption(static_cast<std::size_t>(::GetWindowTextLengthW(item.hwndItem)) + 1, L'\0');
  caption.resize(static_cast<std::size_t>(
      ::GetWindowTextW(item.hwndItem, caption.data(), static_cast<int>(caption.size()))));
  RECT text = face;
  if (pressed) ::OffsetRect(&text, 1, 1);
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, Color((item.itemState & ODS_DISABLED) ? colors::kDisabledText : button.text));
  const UINT prefix = (item.itemState & ODS_NOACCEL) ? DT_HIDEPREFIX : 0;
  ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | prefix);
  if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) {
    ::InflateRect(&face, -2, -2);
    ::DrawFocusRect(dc, &face);
  }
}

// The picture of the About box, decoded with WIC from the PNG built into the program and scaled to
// fit `box` keeping its proportions, centred over `background` (its transparent parts blended
// with it), as the Qt window shows it. nullptr when the image cannot be read.
HBITMAP LoadPicture(SIZE box, res::colors::Rgb background) {
  HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(res::kBitmapAbout),
                                MAKEINTRESOURCEW(10));  // RT_RCDATA (narrow in this build)
  if (found == nullptr || box.cx <= 0 || box.cy <= 0) return nullptr;
  auto* bytes = static_cast<BYTE*>(::LockResource(::LoadResource(nullptr, found)));
  IWICImagingFactory* factory = nullptr;
  IWICStream* stream = nullptr;
  IWICBitmapDecoder* decoder = nullptr;
  IWICBitmapFrameDecode* frame = nullptr;
  IWICFormatConverter* converter = nullptr;
  IWICBitmapScaler* scaler = nullptr;
  HRESULT result = ::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IWICImagingFactory, reinterpret_cast<void**>(&factory));
  if (SUCCEEDED(result)) result = factory->CreateStream(&stream);
  if (SUCCEEDED(result)) {
    result = stream->InitializeFromMemory(bytes, ::SizeofResource(nullptr, found));
  }
  if (SUCCEEDED(result)) {
    result =
        factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand, &decoder);
  }
  if (SUCCEEDED(result)) result = decoder->GetFrame(0, &frame);
  if (SUCCEEDED(result)) result = factory->CreateFormatConverter(&converter);
  if (SUCCEEDED(result)) {
    result = converter->Initialize(frame, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone,
                                   nullptr, 0.0, WICBitmapPaletteTypeCustom);
  }
  UINT width = 0;
  UINT height = 0;
  if (SUCCEEDED(result)) result = converter->GetSize(&width, &height);
  if (SUCCEEDED(result) && (width == 0 || height == 0)) result = E_FAIL;
  // The largest size of the image's proportions inside the box.
  LONG fitWidth = box.cx;
  LONG fitHeight = box.cy;
  if (SUCCEEDED(result)) {
    const LONG scaledWidth = static_cast<LONG>(static_cast<long long>(box.cy) * width / height);
    if (scaledWidth <= box.cx) {
      fitWidth = std::max(1L, scaledWidth);
    } else {
      fitHeight = std::max(1L, static_cast<LONG>(static_cast<long long>(box.cx) * height / width));
    }
    result = factory->CreateBitmapScaler(&scaler);
  }
  if (SUCCEEDED(result)) {
    result = scaler->Initialize(converter, static_cast<UINT>(fitWidth),
                                static_cast<UINT>(fitHeight), WICBitmapInterpolationModeFant);
  }
  std::vector<BYTE> image(static_cast<std::size_t>(fitWidth) * static_cast<std::size_t>(fitHeight) *
                          4);
  if (SUCCEEDED(result)) {
    result = scaler->CopyPixels(nullptr, static_cast<UINT>(fitWidth) * 4,
                                static_cast<UINT>(image.size()), image.data());
  }
  for (IUnknown* object :
       std::initializer_list<IUnknown*>{scaler, converter, frame, decoder, stream, factory}) {
    if (object != nullptr) object->Release();
  }
  if (FAILED(result)) return nullptr;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = box.cx;
  info.bmiHeader.biHeight = -box.cy;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr) return nullptr;
  auto* out = static_cast<BYTE*>(bits);
  const LONG left = (box.cx - fitWidth) / 2;
  const LONG top = (box.cy - fitHeight) / 2;
  const BYTE behind[3] = {background.blue, background.green, background.red};
  for (LONG y = 0; y < box.cy; ++y) {
    for (LONG x = 0; x < box.cx; ++x) {
      BYTE* pixel = out + (static_cast<std::size_t>(y) * box.cx + x) * 4;
      const bool inside = x >= left && x < left + fitWidth && y >= top && y < top + fitHeight;
      const BYTE* source =
          inside ? image.data() + (static_cast<std::size_t>(y - top) * fitWidth + (x - left)) * 4
                 : nullptr;
      const int alpha = source != nullptr ? source[3] : 0;
      for (int c = 0; c < 3; ++c) {
        pixel[c] = static_cast<BYTE>((source != nullptr ? source[c] : 0) +
                                     behind[c] * (255 - alpha) / 255);
      }
      pixel[3] = 255;
    }
  }
  return bitmap;
}

// A picture of the window as it shows on the screen, as a 24-bit BMP file.
bool WriteWindowBitmap(HWND window, const std::string& path) {
  RECT area{};
  ::GetWindowRect(window, &area);
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  HDC source = ::GetWindowDC(window);
  ::BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
  ::ReleaseDC(window, source);
  ::SelectObject(memory, old);
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const DWORD rowBytes = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
  std::vector<char> pixels(rowBytes * static_cast<DWORD>(height));
  ::GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
              reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  bool written = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                 std::fwrite(&info, sizeof info, 1, out) == 1 &&
                 std::fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
  written = std::fclose(out) == 0 && written;
  return written;
}

// The About box's logic: OK and Cancel close it.
class AboutEvents : public DialogEvents {
 public:
  explicit AboutEvents(DialogHost& host) : host_(host) {}
  void onInitDialog() override {}
  void onCommand(int id, ControlEvent) override {
    if (id == res::kIdOk || id == IDCANCEL) host_.endDialog(id);
  }
  void onDestroy() override {}

 private:
  DialogHost& host_;
};

}  // namespace

std::vector<unsigned short> BuildTemplateBytes(const res::DialogTemplate& dialog) {
  return BuildTemplate(dialog).bytes();
}

bool ToCodePage(const std::wstring& text, std::string& out) {
  out.clear();
  if (text.empty()) return true;
  BOOL lost = FALSE;
  const int size = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(),
                                         static_cast<int>(text.size()), nullptr, 0, nullptr, &lost);
  if (size <= 0 || lost) return false;
  out.resize(static_cast<std::size_t>(size));
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                        out.data(), size, nullptr, &lost);
  if (lost) out.clear();
  return !lost;
}

std::wstring FromCodePage(std::string_view text, bool utf8) {
  if (text.empty()) return {};
  const UINT page = utf8 ? CP_UTF8 : CP_ACP;
  const int size =
      ::MultiByteToWideChar(page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(std::max(size, 0)), L'\0');
  ::MultiByteToWideChar(page, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

Win32DialogHost::Win32DialogHost(const res::DialogTemplate& dialog, HWND owner)
    : template_(dialog), owner_(owner) {
  INITCOMMONCONTROLSEX controls{sizeof controls,
                                ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
  ::InitCommonControlsEx(&controls);
  for (const res::colors::Surface surface :
       {res::colors::Surface::kStatic, res::colors::Surface::kButton, res::colors::Surface::kDialog,
        res::colors::Surface::kEdit}) {
    brushes_.push_back(::CreateSolidBrush(Color(res::colors::ColorsOf(surface)->background)));
  }
}

Win32DialogHost::~Win32DialogHost() {
  for (void* brush : brushes_) ::DeleteObject(static_cast<HBRUSH>(brush));
  if (picture_ != nullptr) ::DeleteObject(static_cast<HBITMAP>(picture_));
}

int Win32DialogHost::run(DialogEvents& events) {
  events_ = &events;
  const TemplateWriter dialog = BuildTemplate(template_);
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
    case WM_INITDIALOG: {
      {
        std::lock_guard lock(posts_->mutex);
        posts_->window = window_;
      }
      if (!template_.menu.empty()) {
        HMENU bar = ::CreateMenu();
        for (const res::MenuPopup& popup : template_.menu) {
          HMENU items = ::CreatePopupMenu();
          for (const res::MenuItem& item : popup.items) {
            ::AppendMenuW(items, MF_STRING, static_cast<UINT_PTR>(item.command),
                          FromCodePage(item.caption, true).c_str());
          }
          ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(items),
                        FromCodePage(popup.caption, true).c_str());
        }
        ::SetMenu(window_, bar);
        // The menu bar takes its height from the client area: give the dialog its full size.
        RECT client{0, 0, template_.width, template_.height};
        ::MapDialogRect(window_, &client);
        ::AdjustWindowRectEx(&client, static_cast<DWORD>(::GetWindowLongW(window_, GWL_STYLE)),
                             TRUE, static_cast<DWORD>(::GetWindowLongW(window_, GWL_EXSTYLE)));
        ::SetWindowPos(window_, nullptr, 0, 0, client.right - client.left,
                       client.bottom - client.top, SWP_NOMOVE | SWP_NOZORDER);
      }
      // The controls are the dialog's children in template order.
      HWND child = ::GetWindow(window_, GW_CHILD);
      for (const res::ControlTemplate& control : template_.controls) {
        for (std::string_view entry : control.kind == ControlKind::kTable
                                          ? std::span<const std::string_view>()
                                          : control.list) {
          ::SendDlgItemMessageW(window_, control.id, CB_ADDSTRING, 0,
                                reinterpret_cast<LPARAM>(FromCodePage(entry, true).c_str()));
        }
        if (control.kind == ControlKind::kProgressBar) {
          // The bar paints itself in the dark colours: a themed bar (Wine themes it even without
          // a manifest) ignores PBM_SETBKCOLOR and PBM_SETBARCOLOR.
          ::SetWindowLongPtrW(child, GWLP_USERDATA, ::GetWindowLongPtrW(child, GWLP_WNDPROC));
          ::SetWindowLongPtrW(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PaintProgress));
        } else if (control.kind == ControlKind::kPicture && picture_ == nullptr) {
          showPicture(child);
        } else if (control.kind == ControlKind::kTable) {
          setUpTable(child, control);
        } else if (control.kind == ControlKind::kCheckBox || control.kind == ControlKind::kRadio) {
          PaintDark(child);  // CheckMarks.cpp
        }
        child = ::GetWindow(child, GW_HWNDNEXT);
      }
      if (template_.id == res::kDialogMain || modeless_) ::DragAcceptFiles(window_, TRUE);
      if (owner_ == nullptr) ShowProgramIcon(window_);
      if (!screenshot_.empty()) ::SetTimer(window_, kScreenshotTimer, 20, nullptr);
      if (events_ != nullptr) events_->onInitDialog();
      return TRUE;
    }
    case WM_COMMAND: {
      const int id = LOWORD(w);
      const int code = HIWORD(w);
      if (events_ == nullptr) return FALSE;
      if (code == CBN_SELCHANGE) {
        events_->onCommand(id, ControlEvent::kSelectionChanged);
      } else if (code == BN_CLICKED || l == 0) {  // buttons, menu commands, Enter and Escape
        events_->onCommand(id, ControlEvent::kClicked);
      } else if (code == BN_DOUBLECLICKED && IsPushButton(res::FindControl(template_, id))) {
        // An owner-drawn button tells the second click of a double click as a double click; a
        // push button clicks twice.
        events_->onCommand(id, ControlEvent::kClicked);
      }
      return TRUE;
    }
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(l);
      if (item->CtlType != ODT_BUTTON) return FALSE;
      DrawButton(*item);
      return TRUE;
    }
    case DM_GETDEFID: {
      const int id = defaultButton();
      if (id == 0) return FALSE;
      ::SetWindowLongPtrW(window_, DWLP_MSGRESULT, MAKELRESULT(id, DC_HASDEFID));
      return TRUE;
    }
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
      return colors(w, message == WM_CTLCOLORDLG ? nullptr : reinterpret_cast<HWND>(l));
    case WM_SETCURSOR:
      if (waitCursorDepth_ > 0) {
        ::SetCursor(::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
        ::SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE);
        return TRUE;
      }
      return FALSE;
    case WM_TIMER:
      if (w == kScreenshotTimer) takeScreenshot();
      return TRUE;
    case WM_DROPFILES:
      dropFiles(reinterpret_cast<HDROP>(w));
      return TRUE;
    case kPostedMessage:
      runPosted();
      return TRUE;
    case WM_NOTIFY:
      return notify(l);
    case WM_DESTROY: {
      {
        std::lock_guard lock(posts_->mutex);
        posts_->window = nullptr;
        posts_->tasks.clear();
      }
      closeWindows();
      if (events_ != nullptr) events_->onDestroy();
      aids_.release();
      return FALSE;
    }
    default:
      return FALSE;
  }
}

long long Win32DialogHost::colors(unsigned long long dcHandle, HWND child) {
  using res::colors::Surface;
  HDC dc = reinterpret_cast<HDC>(dcHandle);
  Surface surface = Surface::kDialog;
  if (child != nullptr) {
    const res::ControlTemplate* control = res::FindControl(template_, ::GetDlgCtrlID(child));
    const ControlKind kind = control != nullptr ? control->kind : ControlKind::kStatic;
    const bool readOnly = (::GetWindowLongW(child, GWL_STYLE) & ES_READONLY) != 0 &&
                          (kind == ControlKind::kEdit || kind == ControlKind::kMultiLineEdit);
    surface = res::colors::SurfaceOf(kind, readOnly, ::IsWindowEnabled(child) != FALSE);
  }
  const auto colors = res::colors::ColorsOf(surface);
  if (!colors) return FALSE;
  ::SetTextColor(dc,
                 Color(child != nullptr && !::IsWindowEnabled(child) ? res::colors::kDisabledText
                                                                     : colors->text));
  ::SetBkColor(dc, Color(colors->textBackground));
  const std::size_t brush = surface == Surface::kStatic   ? 0
                            : surface == Surface::kButton ? 1
                            : surface == Surface::kDialog ? 2
                                                          : 3;
  return reinterpret_cast<long long>(brushes_[brush]);
}

int Win32DialogHost::defaultButton() const {
  // Enter presses the push button that has the focus, else the template's first default button.
  HWND focus = ::GetFocus();
  if (focus != nullptr && ::GetParent(focus) == window_ &&
      IsPushButton(res::FindControl(template_, ::GetDlgCtrlID(focus)))) {
    return ::GetDlgCtrlID(focus);
  }
  for (const res::ControlTemplate& control : template_.controls) {
    if (control.kind == ControlKind::kDefaultButton) return control.id;
  }
  return 0;
}

void Win32DialogHost::showPicture(HWND picture) {
  RECT area{};
  ::GetClientRect(picture, &area);
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  picture_ = LoadPicture({area.right, area.bottom},
                         res::colors::ColorsOf(res::colors::Surface::kStatic)->background);
  if (SUCCEEDED(com)) ::CoUninitialize();
  if (picture_ != nullptr) {
    ::SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture_));
  }
}

HWND Win32DialogHost::control(int id) const {
  return window_ != nullptr ? ::GetDlgItem(window_, id) : nullptr;
}

void Win32DialogHost::runPosted() {
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard lock(posts_->mutex);
      if (posts_->tasks.empty() || posts_->window == nullptr) return;
      task = std::move(posts_->tasks.front());
      posts_->tasks.pop_front();
    }
    task();
  }
}

void Win32DialogHost::takeScreenshot() {
  const bool ready = ::IsWindowVisible(window_) && !text(res::id::kLogPane).empty();
  if (!ready) return;
  ::KillTimer(window_, kScreenshotTimer);
  ::RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  screenshotWritten_ = WriteWindowBitmap(window_, screenshot_);
  if (!screenshotWritten_) std::fprintf(stderr, "vexlo: could not write %s\n", screenshot_.c_str());
  ::PostMessageW(window_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

std::string Win32DialogHost::text(int id) const {
  HWND child = control(id);
  if (child == nullptr) return {};
  std::wstring wide(static_cast<std::size_t>(::GetWindowTextLengthW(child)) + 1, L'\0');
  wide.resize(static_cast<std::size_t>(
      ::GetWindowTextW(child, wide.data(), static_cast<int>(wide.size()))));
  std::string out;
  if (!ToCodePage(wide, out)) {
    // A character the code page cannot hold: each becomes '?', which no file name may hold, so
    // the text can never name another file.
    for (wchar_t c : wide) {
      std::string one;
      out += ToCodePage(std::wstring(1, c), one) ? one : "?";
    }
  }
  return out;
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

std::optional<std::string> Win32DialogHost::chooseFile(const FileDialogRequest& request) {
  std::wstring filter = FromCodePage(request.filter) + L'\0' + FromCodePage(request.filter) + L'\0';
  std::wstring name = FromCodePage(request.initialFileName);
  name.resize(std::max<std::size_t>(name.size() + 1, 32768), L'\0');
  const std::wstring title = FromCodePage(request.title);
  const std::wstring folder = FromCodePage(request.initialDirectory);
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window_;
  dialog.lpstrFilter = filter.c_str();
  dialog.lpstrFile = name.data();
  dialog.nMaxFile = static_cast<DWORD>(name.size());
  dialog.lpstrInitialDir = folder.c_str();
  dialog.lpstrTitle = title.c_str();
  dialog.Flags = OFN_HIDEREADONLY | OFN_EXPLORER;  // a name that does not exist yet is accepted
  if (!::GetOpenFileNameW(&dialog)) return std::nullopt;
  std::string chosen;
  ToCodePage(name.c_str(), chosen);  // empty: the code page cannot hold the name
  return chosen;
}

void Win32DialogHost::revealInFileManager(const std::string& path) {
  const std::wstring arguments = L"/select,\"" + FromCodePage(path) + L"\"";
  ::ShellExecuteW(window_, nullptr, L"explorer.exe", arguments.c_str(), nullptr, SW_SHOWNORMAL);
}

void Win32DialogHost::showAbout() {
  Win32DialogHost about(res::AboutDialogTemplate(), window_);
  AboutEvents events(about);
  about.run(events);
}

void Win32DialogHost::post(std::function<void()> task) {
  std::lock_guard lock(posts_->mutex);
  if (posts_->window == nullptr) return;
  posts_->tasks.push_back(std::move(task));
  ::PostMessageW(posts_->window, kPostedMessage, 0, 0);
}

}  // namespace vexlo::platform::win32
