// The window aids of the native window, on the real dialog under Wine: a file dropped on each path
// row, the clipboard's round trip, and the balloon and taskbar calls with over-long texts.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h:
#include <commctrl.h>
#include <shlobj.h>

#include "platform/win32/Win32DialogHost.h"
#include "res/ControlIds.h"
#include "res/MainDialogTemplate.h"

namespace vexlo {

using namespace res::id;

// The checks run in WM_INITDIALOG, on the window's thread, and end the dialog.
struct Checks : platform::DialogEvents {
  std::function<void()> run;
  void onInitDialog() override { run(); }
  void onCommand(int, platform::ControlEvent) override {}
  void onDestroy() override { ++destroyed; }
  void onFilesDropped(const std::vector<std::string>& paths) override { dropped = paths; }
  std::vector<std::string> dropped;
  int destroyed = 0;
};

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
    platform::DialogHost* queue = host.openWindow(res::kDialogQueue, queueChecks);
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
