#pragma once

#include <QDialog>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "hosts/DialogHost.h"
#include "hosts/PostQueue.h"
#include "platform/qt/DesktopSignals.h"
#include "res/DialogTemplate.h"

// The Qt dialog host: the main window, the About box and the windows beside them.

class QButtonGroup;
class QAction;
class QMenuBar;

namespace vexlo::platform::qt {

/// A dialog built from a template: the main window or the About box. Widgets are found by their
/// control ID (also their object name, in decimal). The host turns widget signals into
/// hosts::DialogEvents calls and lets the window's logic decide when the dialog ends: its own
/// accept/reject never close it. The Cancel command (id 2) comes from the title-bar close, the
/// Escape key and the menu's "E&xit".
class QtDialogHost : public QDialog, public hosts::DialogHost {
  Q_OBJECT
 public:
  /// Builds every widget of the template (the template must outlive the host). The window gets
  /// the dark look, the dialog font, the menu bar, a fixed size and the program's icon.
  explicit QtDialogHost(const res::DialogTemplate& dialog, QWidget* parent = nullptr);
  ~QtDialogHost() override;

  /// Runs the dialog modally: onInitDialog, show, the modal loop, then onDestroy while every
  /// widget still exists. Returns the result given to endDialog. Posted tasks that have not run
  /// by then are dropped, and so are tasks posted later.
  int run(hosts::DialogEvents& events);

  /// The widget of a control ID, or nullptr.
  QWidget* control(int id) const;
  /// The dialog's base units: pixels per 4 horizontal and per 8 vertical dialog units.
  int baseUnitX() const { return unitsX_; }
  int baseUnitY() const { return unitsY_; }
  /// The area below the menu bar that holds the template's controls.
  QWidget* clientArea() const { return client_; }

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
  int progress() const override;
  void setProgress(int position) override;
  void setWaitCursor(bool on) override;
  void resizeWindow(int width, int height) override;
  void endDialog(int result) override;
  void setTableRowCount(int id, std::size_t rows) override;
  void setTableRow(int id, std::size_t row, const std::vector<std::string>& cells) override;
  std::vector<std::size_t> selectedRows(int id) const override;
  void selectRows(int id, const std::vector<std::size_t>& rows) override;
  std::optional<std::string> chooseFile(const hosts::FileDialogRequest& request) override;
  std::vector<std::string> chooseFiles(const hosts::FileDialogRequest& request) override;
  std::optional<std::string> chooseFolder(const hosts::FileDialogRequest& request) override;
  void revealInFileManager(const std::string& path) override;
  void showAbout() override;
  /// The picture in the frames window (platform/qt/FramesWindow, where this is defined).
  bool showSvgPicture(const hosts::SvgPicture& picture) override;
  /// The window is a child of this one (so this one's modal loop lets it take input), placed
  /// to its right; its endDialog hides it.
  hosts::DialogHost* openWindow(int templateId, hosts::DialogEvents& events) override;
  void setClipboardText(const std::string& text) override;
  bool windowActive() const override;
  void notifyDesktop(const std::string& summary, const std::string& body) override;
  void setTaskProgress(int position, bool visible) override;
  /// True on Qt's offscreen platform, which main chooses when there is no display.
  bool headless() const override;
  void post(std::function<void()> task) override;

  /// Escape: the Cancel command, not a close.
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  /// Files dropped (FileDrop.cpp): one on a path row fills the row's edit, as if typed; several
  /// on the main window, or any on a window with a table, go to onFilesDropped.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildMenu();
  void buildControls();
  void connectControl(const res::ControlTemplate& control, QWidget* widget);
  void sendCommand(int id, hosts::ControlEvent event);
  // The menu command of an id, or nullptr.
  QAction* menuAction(int id) const;
  // The windows opened beside this one: their posts closed, their events' onDestroy, hidden.
  void closeWindows();
  void updateEditColors(QWidget* widget);
  void acceptFileDrops();

  const res::DialogTemplate& template_;
  QMenuBar* menuBar_ = nullptr;
  QWidget* client_ = nullptr;
  std::map<int, QWidget*> controls_;
  std::map<int, std::pair<QString, std::string>> editBytes_;  // edits: text shown, bytes given
  QButtonGroup* radioGroup_ = nullptr;
  int unitsX_ = 0;
  int unitsY_ = 0;
  hosts::DialogEvents* events_ = nullptr;
  bool inModalLoop_ = false;
  bool ending_ = false;
  std::optional<int> endedBeforeLoop_;
  int waitCursorDepth_ = 0;
  bool settingMarks_ = false;  // setChecked runs: the marks change by the logic, not the user
  bool settingRows_ = false;   // the logic changes a table's rows or selection
  bool modeless_ = false;      // a window opened beside another: endDialog hides it
  std::map<int, QtDialogHost*> windows_;  // by template id; children of this window
  DesktopSignals desktop_;
  // Shared with the queued calls that run its tasks, and with a post() that a runner thread makes
  // while the host goes: closed, it drops them all.
  std::shared_ptr<hosts::PostQueue> posts_ = std::make_shared<hosts::PostQueue>();
};

}  // namespace vexlo::platform::qt
