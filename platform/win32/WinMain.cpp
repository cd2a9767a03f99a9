// Vexlo's entry point on Windows: reads the command line (as UTF-16, so that a path the ANSI
// code page cannot hold is refused instead of mangled), builds the native dialog host and runs
// the application.
#include <windows.h>
// After windows.h:
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/BatchCommand.h"
#include "app/CommandOptions.h"
#include "app/HeadlessHost.h"
#include "app/PlotCommand.h"
#include "app/RegistryStore.h"
#include "app/VexloApp.h"
#include "platform/Paths.h"
#include "platform/StandardStreams.h"
#include "platform/win32/Win32CodePage.h"
#include "platform/win32/Win32DialogHost.h"
#include "res/MainDialogTemplate.h"

namespace {

using vexlo::platform::win32::ToCodePage;

int Refuse(const std::string& line) {
  std::fprintf(stderr, "vexlo: %s\n", vexlo::app::OneLine(line).c_str());
  return 2;
}

// The arguments in the ANSI code page; false when one holds a character that it cannot hold.
bool Arguments(std::vector<std::string>& arguments) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  bool representable = wide != nullptr;
  for (int i = 1; representable && i < count; ++i) {
    std::string argument;
    representable = ToCodePage(wide[i], argument);
    arguments.push_back(argument);
  }
  ::LocalFree(wide);
  return representable;
}

}  // namespace

int main() {
  vexlo::platform::ProtectStandardStreams();
  std::vector<std::string> arguments;
  if (!Arguments(arguments)) {
    return Refuse("the command line holds a character that the system's code page (" +
                  std::to_string(::GetACP()) +
                  ") cannot hold; rename the file or give it by a name the code page holds");
  }
  // The same reading of the command line as on every system; only the arguments' code page is
  // this system's.
  const vexlo::app::StartRequest request =
      vexlo::app::ReadCommandLine(arguments, vexlo::platform::CurrentDirectory(), VEXLO_VERSION);
  if (const auto status = vexlo::app::RunWithoutWindow(request)) return *status;
  const std::string& screenshot = request.screenshot;
  vexlo::app::RegistryStore store;
  vexlo::app::CVexloApp app;
  // An encode given by options shows no window: it runs without one, as on Linux.
  if (request.job) {
    vexlo::app::HeadlessHost host(vexlo::res::MainDialogTemplate());
    return app.InitInstance(
        host, store, [&host](auto& events) { return host.run(events); }, *request.job);
  }
  vexlo::platform::win32::Win32DialogHost host(vexlo::res::MainDialogTemplate());
  if (!screenshot.empty()) host.screenshotTo(screenshot);
  // A window that cannot be made (no desktop to show it on: under Wine, while a desktop process
  // without a display lives) ends the program with a line saying so, never in silence.
  bool noWindow = false;
  DWORD windowError = 0;
  const auto runModal = [&](vexlo::hosts::DialogEvents& events) {
    const int result = host.run(events);
    if (result == -1) std::tie(noWindow, windowError) = std::pair(true, ::GetLastError());
    return result;
  };
  const int status = app.InitInstance(host, store, runModal, request.commandLine);
  if (noWindow) {
    std::fprintf(stderr, "vexlo: the window could not be made (Windows error %lu)\n", windowError);
    return 1;
  }
  if (!screenshot.empty()) return host.screenshotWritten() ? 0 : 1;
  return status;
}
