// The window aids of the native window, on the real dialog under Wine: a file dropped on each path
// row, the clipboard's round trip, and the balloon and taskbar calls with over-long texts.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h:
#include <shlobj.h>

#include "platform/win32/Win32DialogHost.h"
#include "res/MainDialogTemplate.h"

namespace vexlo {

using namespace res::id;

// The checks run in WM_INITDIALOG, on the window's thread, and end the dialog.
struct Checks : platform::DialogEvents {
  std::function<void()> run;
  void onInitDialog() override { run(); }
  void onCommand(int, platform::ControlEvent) override {}
  void onDestroy() override {}
};

TEST(DesktopAids, DropsFillTheRowUnderThemAndTheClipboardGivesTheTextBack) {
  platform::win32::Win32DialogHost host(res::MainDialogTemplate());
  const std::string file = "C:\\clips\\my clip.mov", command = "ffmpeg.bin -i \"" + file + '"';
  Checks checks;
  checks.run = [&] {
    HWND dialog = ::FindWindowA(nullptr, std::string(res::MainDialogTemplate().title).c_str());
    // What the shell hands the window, at a point in dialog units: on an edit, on a row's button,
    // in a row's frame, outside the rows.
    for (auto [x, y, row] : {std::tuple{10, 14, kSourceEdit},
                             {450, 58, kVideoDestEdit},
                             {200, 140, kAudioDestEdit},
                             {200, 300, 0}}) {
      for (int edit : {kSourceEdit, kVideoDestEdit, kAudioDestEdit}) host.setText(edit, "");
      RECT at{x, y, 0, 0};
      ::MapDialogRect(dialog, &at);
      HGLOBAL block = ::GlobalAlloc(GHND, sizeof(DROPFILES) + file.size() + 2);  // zeroed ends
      auto* drop = static_cast<DROPFILES*>(::GlobalLock(block));
      *drop = {sizeof(DROPFILES), {at.left, at.top}, FALSE, FALSE};
      file.copy(reinterpret_cast<char*>(drop + 1), file.size());
      ::GlobalUnlock(block);
      ::SendMessageW(dialog, WM_DROPFILES, reinterpret_cast<WPARAM>(block), 0);
      for (int edit : {kSourceEdit, kVideoDestEdit, kAudioDestEdit}) {
        EXPECT_EQ(host.text(edit), edit == row ? file : "") << x << "," << y << ": " << edit;
      }
    }
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
}

}  // namespace vexlo
