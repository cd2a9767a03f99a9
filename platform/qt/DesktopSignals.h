#pragma once

#include <QString>

// The Qt host's desktop aids: the session bus's notifications and job progress.

namespace vexlo::platform::qt {

/// The desktop's session bus services that tell the user about a job without the window:
/// freedesktop notifications and the launcher entry's progress (com.canonical.Unity.LauncherEntry,
/// read by KDE's task manager and dock extensions). Each call sends and returns at once: nothing
/// waits for a reply. Without a session bus nothing is sent, and no bus is started for it.
class DesktopSignals {
 public:
  /// A notification with a summary and a body.
  void Notify(const QString& summary, const QString& body);
  /// The launcher entry's progress, 0 to 100, shown or hidden; sent only when it changes.
  void SetProgress(int position, bool visible);

  /// The desktop entry the launcher knows the program by.
  static constexpr const char* kDesktopEntry = "io.github.vexlo.Vexlo.desktop";

 private:
  int position_ = -1;
  bool visible_ = false;
};

/// True when a session bus is there to be used: its address is in the environment, or its
/// socket is in the user's runtime folder. (Without either, connecting would try to start one.)
bool HaveSessionBus();

}  // namespace vexlo::platform::qt
