#pragma once

#include <cstddef>
#include <string>

// The native dialog's desktop aids: the notification balloon and the taskbar's bar.

struct HWND__;
struct HICON__;

namespace vexlo::platform::win32 {

/// What tells the user about a job outside the window: a balloon from the notification area and
/// the bar on the window's taskbar button. Each call returns at once; each does nothing where the
/// system lacks the service (no taskbar list, no notification area).
class DesktopAids {
 public:
  DesktopAids() = default;
  DesktopAids(const DesktopAids&) = delete;
  DesktopAids& operator=(const DesktopAids&) = delete;
  ~DesktopAids() { release(); }

  /// A balloon with `summary` as its title and `body` as its text; the icon is added to the
  /// notification area on first use.
  void notify(HWND__* window, const std::string& summary, const std::string& body);
  /// The taskbar button's bar, 0 to 100, or none; set only when it changes.
  void setProgress(HWND__* window, int position, bool visible);
  /// Removes the icon and lets go of the taskbar; called while the window still exists.
  void release();

 private:
  HWND__* iconWindow_ = nullptr;  // the window the notification icon belongs to
  void* taskbar_ = nullptr;       // ITaskbarList3
  bool taskbarTried_ = false;
  bool comStarted_ = false;
  int position_ = -1;
  bool visible_ = false;
};

/// The program's icon (the resource res::kIconMain) drawn for `pixels` pixels, shared (never
/// destroyed); the system's application icon when the program holds none.
HICON__* ProgramIcon(int pixels);
/// The program's icon on a top-level window: its title bar, taskbar button and Alt+Tab.
void ShowProgramIcon(HWND__* window);

/// UTF-16 text cut to fit a fixed buffer of `capacity` characters with its terminator, never in
/// the middle of a surrogate pair; a cut text ends in "...", or, with `keepEnd` (a path, whose
/// file name matters most), starts with it.
std::wstring FitText(std::wstring text, std::size_t capacity, bool keepEnd);

}  // namespace vexlo::platform::win32
