// Vexlo's entry point on Windows: what only this system has (the arguments read as UTF-16, so
// that a path the ANSI code page cannot hold is refused instead of mangled; whether the desktop
// can be seen; the native dialog) given to the start-up that every system shares (app/Startup).
#include <windows.h>
// After windows.h:
#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/Startup.h"
#include "platform/win32/Win32CodePage.h"
#include "platform/win32/Win32DialogHost.h"
#include "res/MainDialogTemplate.h"

namespace {

// The arguments in the ANSI code page; false when one holds a character that it cannot hold.
bool Arguments(std::vector<std::string>& arguments) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  bool representable = wide != nullptr;
  for (int i = 1; representable && i < count; ++i) {
    std::string argument;
    representable = vexlo::platform::win32::ToCodePage(wide[i], argument);
    arguments.push_back(argument);
  }
  ::LocalFree(wide);
  return representable;
}

// A window can be seen in the interactive window station; a service's is not visible.
bool CanShowWindow() {
  USEROBJECTFLAGS flags{};
  return !::GetUserObjectInformationW(::GetProcessWindowStation(), UOI_FLAGS, &flags,
                                      sizeof flags, nullptr) ||
         (flags.dwFlags & WSF_VISIBLE) != 0;
}

// The main window as a native dialog. One that cannot be made (no desktop to show it on: under
// Wine, while a desktop process without a display lives) ends the program with a line saying
// so, never in silence; with --screenshot, the status says whether the picture was written.
class Win32Window : public vexlo::app::SystemWindow {
 public:
  explicit Win32Window(const std::string& screenshot) : screenshot_(!screenshot.empty()) {
    if (screenshot_) host_.screenshotTo(screenshot);
  }
  vexlo::hosts::DialogHost& host() override { return host_; }
  int run(vexlo::hosts::DialogEvents& events) override {
    const int result = host_.run(events);
    if (result == -1) {
      notMade_ = true;
      error_ = ::GetLastError();
    }
    return result;
  }
  int exitStatus(int status) override {
    if (notMade_) {
      std::fprintf(stderr, "vexlo: the window could not be made (Windows error %lu)\n", error_);
      return 1;
    }
    if (screenshot_) return host_.screenshotWritten() ? 0 : 1;
    return status;
  }

 private:
  vexlo::platform::win32::Win32DialogHost host_{vexlo::res::MainDialogTemplate()};
  bool screenshot_ = false;
  bool notMade_ = false;
  DWORD error_ = 0;
};

}  // namespace

int main() {
  vexlo::app::SystemStart system;
  if (!Arguments(system.arguments)) {
    system.argumentsRefusal =
        "the command line holds a character that the system's code page (" +
        std::to_string(::GetACP()) +
        ") cannot hold; rename the file or give it by a name the code page holds";
  }
  system.canShowWindow = CanShowWindow;
  system.makeWindow = [](const vexlo::app::StartRequest& request) {
    return std::make_unique<Win32Window>(request.screenshot);
  };
  return vexlo::app::Start(system);
}
