// The window aids of the native window, on the real dialog under Wine: a file dropped on each path
// row, the clipboard's round trip, and the balloon and taskbar calls with over-long texts.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h:
#include <shlobj.h>

#include "platform/win32/Win32DialogHost.h"
#include "res/ControlIds.h"
#include "res/MainDialogTemplate.h"

namespace vexlo {
namespace {

using namespace res::id;
constexpr char kFile[] = "C:\\clips\\my clip.mov";

// What the shell hands the window: a DROPFILES block naming kFile, at a point of the client area
// given in dialog units.
void Drop(HWND dialog, int x, int y) {
  RECT at{x, y, 0, 0};
  ::MapDialogRect(dialog, &at);
  HGLOBAL block = ::GlobalAlloc(GHND, sizeof(DROPFILES) + sizeof kFile + 1);  // zeroed: 2 ends
  auto* drop = static_cast<DROPFILES*>(::GlobalLock(block));
  *drop = {sizeof(DROPFILES), {at.left, at.top}, FALSE, FALSE};
  std::copy_n(kFile, sizeof kFile, reinterpret_cast<char*>(drop + 1));
  ::GlobalUnlock(block);
  ::SendMessageW(dialog, WM_DROPFILES, reinterpret_cast<WPARAM>(block), 0);
}

// The checks run in WM_INITDIALOG, on the window's thread, then end the dialog.
struct Checks : platform::DialogEvents {
  std::function<void()> run;
  void onInitDialog() override { run(); }
  void onCommand(int, platform::ControlEvent) override {}
  void onDestroy() override {}
};

TEST(DesktopAids, DropsFillTheRowUnderThemAndTheClipboardGivesTheTextBack) {
  platform::win32::Win32DialogHost host(res::MainDialogTemplate());
  Checks checks;
  checks.run = [&] {
    HWND dialog = ::FindWindowA(nullptr, std::string(res::MainDialogTemplate().title).c_str());
    // On an edit, on a row's button, in a row's frame, outside the rows.
    for (auto [x, y, row] : {std::tuple{10, 14, kSourceEdit},
                             {450, 58, kVideoDestEdit},
                             {200, 140, kAudioDestEdit},
                             {200, 300, 0}}) {
      for (int edit : {kSourceEdit, kVideoDestEdit, kAudioDestEdit}) host.setText(edit, "");
      Drop(dialog, x, y);
      for (int edit : {kSourceEdit, kVideoDestEdit, kAudioDestEdit}) {
        EXPECT_EQ(host.text(edit), edit == row ? kFile : "") << x << "," << y << ": " << edit;
      }
    }
    host.setClipboardText(std::string("ffmpeg.bin -i \"") + kFile + '"');
    ASSERT_TRUE(::OpenClipboard(nullptr));
    HANDLE text = ::GetClipboardData(CF_TEXT);
    EXPECT_EQ(std::string(text ? static_cast<const char*>(::GlobalLock(text)) : ""),
              std::string("ffmpeg.bin -i \"") + kFile + '"');
    ::CloseClipboard();
    host.notifyDesktop(std::string(100, 'S'), std::string(400, 'd') + "\\out.mp4");
    host.setTaskProgress(50, true);
    host.endDialog(1);
  };
  EXPECT_EQ(host.run(checks), 1);
}

}  // namespace
}  // namespace vexlo
