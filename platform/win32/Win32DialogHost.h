#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hosts/DialogHost.h"
#include "hosts/PostQueue.h"
#include "hosts/ScreenshotWait.h"
#include "platform/win32/Win32DarkPainting.h"
#include "platform/win32/Win32DesktopAids.h"
#include "res/DialogTemplate.h"

// The Win32 dialog host: the native main window, About box and queue window.

struct HWND__;

namespace vexlo::platform::win32 {

/// The main window (or the About box) as a native dialog made in memory from a template of res/
/// (Win32DialogTemplate) and shown with DialogBoxIndirectParam; the dark colours through
/// WM_CTLCOLOR* and owner-drawn push buttons (Win32DarkPainting); the About picture decoded with
/// WIC (Win32PictureLoader); posts through PostMessage. What the window decides (posts, drops,
/// the About box, the screenshot) is written once in hosts/, the same for every host; this one
/// draws and delivers. The controls' reads and writes are in Win32DialogControls.cpp, the file
/// dialogs in Win32FileDialogs.cpp.
class Win32DialogHost : public hosts::DialogHost {
 public:
  explicit Win32DialogHost(const res::DialogTemplate& dialog, HWND__* owner = nullptr);
  ~Win32DialogHost() override;

  /// Shows the dialog modally over `events`; returns the result given to endDialog.
  int run(hosts::DialogEvents& events);
  /// When hosts::ScreenshotWait says so, writes a picture of the window as a BMP file
  /// (Win32WindowBitmap) and closes it.
  void screenshotTo(std::string path) { screenshot_ = std::move(path); }
  bool screenshotWritten() const { return screenshotWritten_; }

  std::string text(int id) const override;
  void setText(int id, std::string_view text) override;
  void appendText(int id, std::string_view text) override;
  int listIndex(int id) const override;
  void setListIndex(int id, int index) override;
  bool checked(int id) const override;
  void setChecked(int id, bool checked) override;
  bool enabled(int id) const override;
  void setEnabled(int id, bool enabled) override;
  bool visible(int id) const override;
  void setVisible(int id, bool visible) override;
  void setReadOnly(int id, bool readOnly) override;
  int progress() const override { return progress_; }
  void setProgress(int position) override;
  void setWaitCursor(bool on) override;
  void resizeWindow(int width, int height) override;
  void endDialog(int result) override;
  std::optional<std::string> chooseFile(const hosts::FileDialogRequest& request) override;
  std::vector<std::string> chooseFiles(const hosts::FileDialogRequest& request) override;
  std::optional<std::string> chooseFolder(const hosts::FileDialogRequest& request) override;
  // The queue window's pieces (Win32DialogWindows.cpp): a second window and its list view.
  /// A modeless dialog owned by this one, placed to its right; its endDialog hides it.
  hosts::DialogHost* openWindow(int templateId, hosts::DialogEvents& events) override;
  void setTableRowCount(int id, std::size_t rows) override;
  void setTableRow(int id, std::size_t row, const std::vector<std::string>& cells) override;
  std::vector<std::size_t> selectedRows(int id) const override;
  void selectRows(int id, const std::vector<std::size_t>& rows) override;
  void revealInFileManager(const std::string& path) override;
  void showAbout() override;
  void post(std::function<void()> task) override;
  // The window aids (Win32DesktopAids.cpp): clipboard, foreground, balloon, taskbar bar.
  void setClipboardText(const std::string& text) override;
  bool windowActive() const override;
  void notifyDesktop(const std::string& summary, const std::string& body) override;
  void setTaskProgress(int position, bool visible) override;
  /// The picture written to a temporary file and opened with the system's SVG viewer
  /// (Win32PictureViewer.cpp). False when the file cannot be written or nothing opens it.
  bool showSvgPicture(const hosts::SvgPicture& picture) override;

 private:
  static long long __stdcall DialogProc(HWND__* window, unsigned message, unsigned long long w,
                                        long long l);
  long long handle(unsigned message, unsigned long long w, long long l);
  // The messages' handlers, each returning what the dialog procedure returns.
  long long initDialog();
  /// Each control as the template has it: a list's entries, the bar's painting, the About
  /// picture, a list view's columns.
  void setUpControls();
  long long command(int id, int code, long long l);
  long long drawItem(long long l);
  long long answerDefaultButton();
  long long setCursor();
  void lookForScreenshot();
  void destroy();
  HWND__* control(int id) const;
  /// Files dropped (an HDROP), where hosts::DropTargetOf says (Win32DesktopAids.cpp).
  void dropFiles(void* drop);
  /// A list view of the template: report view, whole rows, its columns, the dark colours.
  void setUpTable(HWND__* table, const res::ControlTemplate& control);
  /// WM_NOTIFY: a list view's selection changed by the user is a kSelectionChanged command.
  long long notify(long long l);
  /// The windows opened beside this one go first (their events' onDestroy).
  void closeWindows();

  const res::DialogTemplate& template_;
  HWND__* owner_;
  HWND__* window_ = nullptr;
  hosts::DialogEvents* events_ = nullptr;
  // Open from WM_INITDIALOG to WM_DESTROY; shared with a post() that a runner thread makes while
  // the host goes.
  std::shared_ptr<hosts::PostQueue> posts_ = std::make_shared<hosts::PostQueue>();
  DarkBrushes brushes_;
  void* picture_ = nullptr;  // the About picture's bitmap, shown by its static control
  int progress_ = 0;
  int waitCursorDepth_ = 0;
  std::string screenshot_;
  hosts::ScreenshotWait screenshotWait_;
  bool screenshotWritten_ = false;
  bool modeless_ = false;     // a window opened beside another: endDialog hides it
  bool settingRows_ = false;  // the logic changes a list view's rows or selection
  std::map<int, std::unique_ptr<Win32DialogHost>> windows_;  // by template id
  DesktopAids aids_;
};

}  // namespace vexlo::platform::win32
