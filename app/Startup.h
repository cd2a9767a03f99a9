#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandOptions.h"
#include "hosts/DialogHost.h"

// The one start-up of both systems: the command line read, a form without a window run, or the
// main window run in the system's window or without one.

namespace vexlo::app {

/// The window of one system (Qt's, the native Win32 dialog) that the start-up runs the main
/// window's logic in, made by that system's entry point.
class SystemWindow {
 public:
  virtual ~SystemWindow() = default;
  virtual hosts::DialogHost& host() = 0;
  /// Runs the window's logic modally; the result given to endDialog.
  virtual int run(hosts::DialogEvents& events) = 0;
  /// The program's exit status once the window's logic has ended with `status`: the system may
  /// have more to say (a window it could not make, a screenshot it could not write).
  virtual int exitStatus(int status) { return status; }
};

/// What an entry point gives the start-up: the parts that differ from system to system.
struct SystemStart {
  /// The arguments after the program's name, as the program reads paths.
  std::vector<std::string> arguments;
  /// Why the system could not give the arguments so (one line); empty when it could.
  std::string argumentsRefusal;
  /// Whether anyone could see a window (a display, an interactive desktop). Asked once the
  /// command line has asked for the main window's logic.
  std::function<bool()> canShowWindow;
  /// Makes the system's window for the request. Called at most once, after canShowWindow.
  std::function<std::unique_ptr<SystemWindow>(const StartRequest&)> makeWindow;
};

/// The program's start, the same on every system: the standard streams made safe, the command
/// line read, the forms that need no window run (help, version, refusals, the batch, --plot);
/// then the main window's logic, in the headless host for an encode that no one would see (the
/// option form; the comma form where no window can be seen), else in the system's window. A
/// window is refused (status 2) where none can be seen and the command line asks for no encode
/// and no screenshot. While the window's logic runs, every stop request
/// (platform::StopRequests) is its Cancel command, posted to the window's thread. Returns the
/// program's exit status.
int Start(const SystemStart& system);

}  // namespace vexlo::app
