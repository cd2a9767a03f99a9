// The window aids of the native window, on the real dialog under Wine: a file dropped on each path
// row, the clipboard's round trip, the balloon and taskbar calls with over-long texts, the
// program's icon, and the check boxes and radio buttons in the dark colours.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h:
#include <commctrl.h>
#include <shlobj.h>

#include <span>

#include "platform/win32/Win32DialogHost.h"
#include "res/ControlIds.h"
#include "res/MainDialogTemplate.h"

namespace vexlo {

using namespace res::id;

// The checks run in WM_INITDIALOG, on the window's thread, and end the dialog.
struct Checks : hosts::DialogEvents {
  std::function<void()> run;
  void onInitDialog() override { run(); }
  void onCommand(int, hosts::ControlEvent) override {}
  void onDestroy() override { ++destroyed; }
  void onFilesDropped(const std::vector<std::string>& paths) override { dropped = paths; }
  std::vector<std::string> dropped;
  int destroyed = 0;
};

// The sizes of the program's icon group, each image read back by the system as an icon of it.
std::vector<int> IconSizes() {
#pragma pack(push, 2)
  struct GroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bits;
    DWORD bytes;
    WORD id;
  };
#pragma pack(pop)
  const auto kGroupIcon = MAKEINTRESOURCEW(14), kIcon = MAKEINTRESOURCEW(3);
  HRSRC group = ::FindResourceW(nullptr, MAKEINTRESOURCEW(res::kIconMain), kGroupIcon);
  if (group == nullptr) return {};
  const auto* directory = static_cast<const WORD*>(::LockResource(::LoadResource(nullptr, group)));
  const auto* entries = reinterpret_cast<const GroupEntry*>(directory + 3);
  std::vector<int> sizes;
  for (const GroupEntry& entry : std::span(entries, directory[2])) {
    HRSRC image = ::FindResourceW(nullptr, MAKEINTRESOURCEW(entry.id), kIcon);
    auto* bytes = static_cast<BYTE*>(::LockResource(::LoadResource(nullptr, image)));
    HICON icon = ::CreateIconFromResourceEx(bytes, ::SizeofResource(nullptr, image), TRUE,
                                            0x00030000, 0, 0, LR_DEFAULTCOLOR);
    ICONINFO info{};
    BITMAP bitmap{};
    if (icon != nullptr && ::GetIconInfo(icon, &info)) {
      ::GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
      ::DeleteObject(info.hbmColor);
      ::DeleteObject(info.hbmMask);
    }
    if (icon != nullptr) ::DestroyIcon(icon);
    sizes.push_back(entry.width == 0 ? 256 : entry.width);
    if (bitmap.bmWidth != sizes.back()) sizes.back() = -static_cast<int>(bitmap.bmWidth);
  }
  return sizes;
}

// A check box or radio button as it paints itself (WM_PRINTCLIENT): whether its box is the edit
// grey at its edge and how many pixels of the text white it holds (its mark).
std::pair<bool, int> BoxPixels(HWND button) {
  RECT area{};
  ::GetClientRect(button, &area);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = area.right;
  info.bmiHeader.biHeight = -area.bottom;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC dc = ::CreateCompatibleDC(nullptr);
  HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = ::SelectObject(dc, bitmap);
  ::SendMessageW(button, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  ::GdiFlush();
  const int size = ::MulDiv(13, ::GetDeviceCaps(dc, LOGPIXELSY), 96);
  const int top = (area.bottom - size) / 2;
  const auto* pixels = static_cast<const DWORD*>(bits);  // 0x00RRGGBB
  const auto at = [&](int x, int y) { return pixels[y * area.right + x] & 0xFFFFFF; };
  int white = 0;
  for (int y = top; y < top + size; ++y) {
    for (int x = 0; x < size; ++x) white += at(x, y) == 0xF5F5F5;
  }
  const bool dark = at(size / 2, top + 2) == 0x282828;
  ::SelectObject(dc, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(dc);
  return {dark, white};
}

// What the shell hands a window for files dropped at a point in dialog units.
void DropFiles(HWND window, int x, int y, const std::vector<std::string>& files) {
  RECT at{x, y, 0, 0};
  ::MapDialogRect(window, &at);
  std::string names;
  for (const std::string& file : files) names += file + '\0';
  HGLOBAL block = ::GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() + 1);  // zeroed ends
  auto* drop = static_cast<DROPFILES*>(::GlobalLock(block));
  *drop = {sizeof(DROPFILES), {at.left, at.top}, FALSE, FALSE};
  names.copy(reinterpret_cast<char*>(drop + 1), names.size());
  ::GlobalUnlock(block);
  ::SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(block), 0);
}

TEST(DesktopAids, DropsFillTheRowUnderThemAndTheClipboardGivesTheTextBack) {
  platform::win32::Win32DialogHost host(res::MainDialogTemplate());
  const std::string file = "C:\\clips\\my clip.mov", command = "ffmpeg.bin -i \"" + file + '"';
  Checks checks, queueChecks;
  checks.run = [&] {
    HWND dialog = ::FindWindowA(nullptr, std::string(res::MainDialogTemplate().title).c_str());
    // What the shell hands the window, at a point in dialog units: on an edit, on a row's button,
    // in a row's frame, outside the rows.
    for (auto [x, y, row] : {std::tuple{10, 14, kSourceEdit},
                             {450, 58, kVideoDestEdit},
                             {200, 140, kAudioDestEdit},
                             {200, 300, 0}}) {
      for (int edit : {kSourceEdit, kVideoDestEdit, kAudioDestEdit}) host.setText(edit, "");
      DropFiles(dialog, x, y, {file});
      for (int edit : {kSourceEdit, kVideoDestEdit, kAudioDestEdit}) {
        EXPECT_EQ(host.text(edit), edit == row ? file : "") << x << "," << y << ": " << edit;
      }
    }
    // Several files on a row are the window's logic's (the queue's); the row is left alone.
    DropFiles(dialog, 10, 14, {file, "C:\\clips\\b.mov"});
    EXPECT_EQ(checks.dropped, (std::vector<std::string>{file, "C:\\clips\\b.mov"}));
    EXPECT_EQ(host.text(kSourceEdit), "");
    // The queue window: a second dialog beside this one, its list view's rows and selection.
    queueChecks.run = [] {};
    hosts::DialogHost* queue = host.openWindow(res::kDialogQueue, queueChecks);
    ASSERT_NE(queue, nullptr);
    EXPECT_EQ(host.openWindow(res::kDialogQueue, queueChecks), queue);  // made once
    queue->setTableRowCount(kQueueTable, 3);
    queue->setTableRow(kQueueTable, 1, {"C:\\a.mov", "C:\\a.H264", "H264", "waiting", ""});
    queue->setTableRowCount(kQueueTable, 2);
    queue->selectRows(kQueueTable, {1});
    EXPECT_EQ(queue->selectedRows(kQueueTable), std::vector<std::size_t>{1});
    HWND list = ::GetDlgItem(::FindWindowA(nullptr, "Vexlo Queue"), kQueueTable);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 2);
    wchar_t state[16] = {};
    LVITEMW cell{};
    cell.iSubItem = 3;
    cell.pszText = state;
    cell.cchTextMax = 16;
    ::SendMessageW(list, LVM_GETITEMTEXTW, 1, reinterpret_cast<LPARAM>(&cell));
    EXPECT_EQ(std::wstring(state), L"waiting");
    queue->endDialog(2);
    EXPECT_FALSE(::IsWindowVisible(::GetParent(list)));
    // The program's icon: every size in one group, the program's first, on the window.
    EXPECT_EQ(IconSizes(), (std::vector<int>{16, 24, 32, 48, 64, 128, 256}));
    int firstIcon = 0;
    ::EnumResourceNamesW(
        nullptr, MAKEINTRESOURCEW(14),
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR first) {
          *reinterpret_cast<int*>(first) = IS_INTRESOURCE(name) ? LOWORD(name) : -1;
          return FALSE;
        },
        reinterpret_cast<LONG_PTR>(&firstIcon));
    EXPECT_EQ(firstIcon, res::kIconMain);
    for (auto [kind, metric] : {std::pair{ICON_BIG, SM_CXICON}, {ICON_SMALL, SM_CXSMICON}}) {
      const int side = ::GetSystemMetrics(metric);
      EXPECT_EQ(::SendMessageW(dialog, WM_GETICON, kind, 0),
                reinterpret_cast<LRESULT>(::LoadImageW(::GetModuleHandleW(nullptr),
                                                       MAKEINTRESOURCEW(res::kIconMain),
                                                       IMAGE_ICON, side, side, LR_SHARED)));
    }
    // Check boxes and radio buttons: dark boxes whose mark follows the state the host sets and
    // reads, the space bar and clicks toggle, a radio group stays exclusive.
    for (int id : {kShortGopCheck, kRadioH265}) {
      for (bool on : {true, false}) {
        host.setChecked(id, on);
        const auto [dark, white] = BoxPixels(::GetDlgItem(dialog, id));
        EXPECT_TRUE(dark) << id << " " << on;
        EXPECT_EQ(white > 0, on) << id << " " << white;
      }
    }
    HWND gop = ::GetDlgItem(dialog, kShortGopCheck);
    ::SendMessageW(gop, WM_KEYDOWN, VK_SPACE, 0);
    ::SendMessageW(gop, WM_KEYUP, VK_SPACE, 0);
    EXPECT_TRUE(host.checked(kShortGopCheck));
    ::SendMessageW(gop, BM_CLICK, 0, 0);
    EXPECT_FALSE(host.checked(kShortGopCheck));
    host.setChecked(kRadioH264, true);
    ::SendMessageW(::GetDlgItem(dialog, kRadioMpv), BM_CLICK, 0, 0);
    EXPECT_EQ((std::vector{host.checked(kRadioH264), host.checked(kRadioH265),
                           host.checked(kRadioMpv)}),
              (std::vector{false, false, true}));
    EXPECT_GT(BoxPixels(::GetDlgItem(dialog, kRadioMpv)).second, 0);
    EXPECT_EQ(BoxPixels(::GetDlgItem(dialog, kRadioH264)).second, 0);
    host.setClipboardText(command);
    ASSERT_TRUE(::OpenClipboard(nullptr));
    HANDLE text = ::GetClipboardData(CF_TEXT);
    EXPECT_EQ(text ? static_cast<const char*>(::GlobalLock(text)) : "", command);
    ::CloseClipboard();
    host.notifyDesktop(std::string(100, 'S'), std::string(400, 'd') + "\\out.mp4");
    host.setTaskProgress(50, true);
    host.endDialog(1);
  };
  EXPECT_EQ(host.run(checks), 1);
  EXPECT_EQ(checks.destroyed, 1);
  EXPECT_EQ(queueChecks.destroyed, 1);  // the queue window went first, with the main window
}

}  // namespace vexlo
