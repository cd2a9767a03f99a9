#pragma once

#include <cstddef>
#include <functional>
#include <utility>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The dialog host: how the window's logic sees its widgets, by control id, whatever draws them.

namespace vexlo::hosts {

// What happened to a control; delivered to the window's logic on the window's thread.
enum class ControlEvent {
  kClicked,           // a button or menu command; for a check box or radio button, any change
                      // of its mark by the user (mouse, keyboard, accessibility action), never
                      // one made through setChecked
  kSelectionChanged,  // a drop-down list's selection was changed by the user
};

// The window's logic, as the dialog host sees it. Every call arrives on the window's thread.
class DialogEvents {
 public:
  virtual ~DialogEvents() = default;
  // The controls exist and hold their template contents; the window is not shown yet.
  virtual void onInitDialog() = 0;
  // A control or menu command. The OK command is id 1 ("Exit"), the Cancel command id 2
  // (title-bar close, Escape, the menu's "E&xit").
  virtual void onCommand(int id, ControlEvent event) = 0;
  // The window is going away: the last call, made before any control is destroyed.
  virtual void onDestroy() = 0;
  // Local files dropped on the window that no path row takes (several files anywhere on the
  // main window, any number on a window with a table), as the file system spells their names.
  virtual void onFilesDropped(const std::vector<std::string>& /*paths*/) {}
};

// Parameters of the open-file dialog of the Browse buttons.
struct FileDialogRequest {
  std::string title;             // "Video Source File"
  std::string filter;            // "*.*": shown as the filter's text
  std::string initialDirectory;  // ends with the path separator
  std::string initialFileName;   // "*.*"
};

// A picture that the window's logic draws as SVG text, along a horizontal range that a viewer
// may zoom into and scroll through (for the frames window: the file's time in seconds).
struct SvgPicture {
  std::string title;    // the viewer's window title
  std::string caption;  // one line shown with the picture
  std::string unit;     // the range's unit, as the viewer names it ("s")
  double start = 0;     // the range that the whole picture covers
  double end = 0;
  /// The SVG document of the part from `from` to `to` of the range at `width` x `height`
  /// pixels. It owns what it draws; the viewer calls it on the window's thread at any time.
  std::function<std::string(double from, double to, int width, int height)> draw;
};

// The dialog the window's logic talks to, by control ID. The Qt host implements it with widgets
// built from the dialog template; tests use an in-memory fake.
//
// Everything but post() must be called on the window's thread. Runner threads never touch a
// control: they post the change to the window's thread.
class DialogHost {
 public:
  virtual ~DialogHost() = default;

  /// The text of an edit, static or button control; empty for an unknown id.
  virtual std::string text(int id) const = 0;
  virtual void setText(int id, std::string_view text) = 0;
  /// Appends to a multi-line edit and scrolls so that the newest line is in view.
  virtual void appendText(int id, std::string_view text) = 0;

  /// The 0-based selection of a drop-down list; -1 when nothing is selected.
  virtual int listIndex(int id) const = 0;
  /// Selects an entry; an index outside the list leaves the list without a selection.
  virtual void setListIndex(int id, int index) = 0;

  virtual bool checked(int id) const = 0;
  virtual void setChecked(int id, bool checked) = 0;

  virtual bool enabled(int id) const = 0;
  virtual void setEnabled(int id, bool enabled) = 0;
  virtual bool visible(int id) const = 0;
  virtual void setVisible(int id, bool visible) = 0;
  virtual void setReadOnly(int id, bool readOnly) = 0;

  /// A table (res::ControlKind::kTable): how many rows it has, each row's cells in the order of
  /// its columns, and the rows selected (in ascending order). The user's change of the selection
  /// is a kSelectionChanged command; a change made through selectRows is none.
  virtual void setTableRowCount(int /*id*/, std::size_t /*rows*/) {}
  virtual void setTableRow(int /*id*/, std::size_t /*row*/,
                           const std::vector<std::string>& /*cells*/) {}
  virtual std::vector<std::size_t> selectedRows(int /*id*/) const { return {}; }
  virtual void selectRows(int /*id*/, const std::vector<std::size_t>& /*rows*/) {}

  /// The position of the progress bar, 0 to 100.
  virtual int progress() const = 0;
  virtual void setProgress(int position) = 0;

  /// Shows or hides the wait cursor; calls nest.
  virtual void setWaitCursor(bool on) = 0;
  /// Resizes the window in pixels, keeping its position.
  virtual void resizeWindow(int width, int height) = 0;
  /// Ends the dialog with a result (1 OK, 2 Cancel); onDestroy follows.
  virtual void endDialog(int result) = 0;

  /// The open-file dialog; nullopt when the user cancelled. Accepts a name that does not exist.
  /// An empty name means the chosen file's name could not be given back byte for byte (it is
  /// not valid UTF-8).
  virtual std::optional<std::string> chooseFile(const FileDialogRequest& request) = 0;
  /// The open-file dialog with several files chosen at once; empty when the user cancelled. A
  /// name that cannot be given back byte for byte is given as "", as chooseFile does.
  virtual std::vector<std::string> chooseFiles(const FileDialogRequest& /*request*/) { return {}; }
  /// The folder dialog; nullopt when the user cancelled, "" for a name that cannot be given back.
  virtual std::optional<std::string> chooseFolder(const FileDialogRequest& /*request*/) {
    return std::nullopt;
  }
  /// Shows a path in the file manager; silent on failure.
  virtual void revealInFileManager(const std::string& path) = 0;
  /// Runs the About box modally.
  virtual void showAbout() = 0;

  /// Shows a picture in a window of its own beside the dialog (not modal), or hands it to the
  /// system's viewer. False when it could not be shown (no window, no viewer).
  virtual bool showSvgPicture(const SvgPicture& /*picture*/) { return false; }

  /// Puts a text on the desktop's clipboard.
  virtual void setClipboardText(const std::string& /*text*/) {}

  /// True while the window is the one the user works in.
  virtual bool windowActive() const { return true; }
  /// A desktop notification; nothing when the desktop has no such service. Never waits.
  virtual void notifyDesktop(const std::string& /*summary*/, const std::string& /*body*/) {}
  /// The bar's position on the program's taskbar or dock entry, or no bar there (`visible`
  /// false); nothing where the desktop shows none. Never waits.
  virtual void setTaskProgress(int /*position*/, bool /*visible*/) {}

  /// A window of its own beside this one, made from the template `templateId`
  /// (res::WindowTemplate) over `events`: made at the first call (onInitDialog), shown and raised
  /// at every call. Its Cancel command (title-bar close, Escape) is the events' to act on, and
  /// its endDialog only hides it. It goes with this window: its events' onDestroy comes first,
  /// before this window's own events' onDestroy. nullptr where the host has no such window.
  virtual DialogHost* openWindow(int /*templateId*/, DialogEvents& /*events*/) { return nullptr; }

  /// True when no one can see the window (no display: it is drawn offscreen), so no one can
  /// close it either.
  virtual bool headless() const { return false; }

  /// Runs a task on the window's thread, later, in the order of posting. Safe from any thread;
  /// never waits. Tasks posted after the window has gone are dropped.
  virtual void post(std::function<void()> task) = 0;
};

/// The host's post as a plain function, for those that only post (the jobs).
inline std::function<void(std::function<void()>)> PostTo(DialogHost& host) {
  return [&host](std::function<void()> task) { host.post(std::move(task)); };
}

}  // namespace vexlo::hosts
