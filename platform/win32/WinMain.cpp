// Vexlo's entry point on Windows: reads the command line (as UTF-16, so that a path the ANSI
// code page cannot hold is refused instead of mangled), builds the native dialog host and runs
// the application.
#include <windows.h>
// After windows.h:
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/CommandOptions.h"
#include "app/RegistryStore.h"
#include "app/VexloApp.h"
#include "platform/Paths.h"
#include "platform/StandardStreams.h"
#include "platform/win32/Win32DialogHost.h"
#include "res/MainDialogTemplate.h"

namespace {

using vexlo::platform::win32::ToCodePage;

int Refuse(const std::string& line) {
  std::fprintf(stderr, "vexlo: %s\n", vexlo::app::OneLine(line).c_str());
  return 2;
}

constexpr char kUsage[] =
    "Usage: vexlo [--source PATH --destination PATH [options]]\n"
    "       vexlo SOURCE,DESTINATION[,PROFILE,CRF]\n";

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
  std::string screenshot;
  bool options = false;
  for (const std::string& argument : arguments) {
    options = options || argument.starts_with("--") || argument == "-h" || argument == "-?";
  }
  std::optional<vexlo::app::OptionJob> job;
  if (options) {
    std::vector<vexlo::app::GivenOption> given;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
      const std::string& argument = arguments[i];
      if (argument == "--help" || argument == "-h" || argument == "-?") {
        std::fputs(kUsage, stdout);
        for (const auto& option : vexlo::app::JobOptions()) {
          std::printf("  --%s %s\n      %s\n", std::string(option.name).c_str(),
                      std::string(option.valueName).c_str(), option.description.c_str());
        }
        return 0;
      }
      if (argument == "--version") {
        std::printf("vexlo %s\n", VEXLO_VERSION);
        return 0;
      }
      if (!argument.starts_with("--")) {
        return Refuse("unexpected argument \"" + argument +
                      "\": with options, give the paths with --source and --destination");
      }
      const std::string name = argument.substr(2);
      const std::string value = i + 1 < arguments.size() ? arguments[++i] : "";
      if (name == "screenshot") {
        screenshot =
            vexlo::platform::FromWorkingDirectory(value, vexlo::platform::CurrentDirectory());
      } else {
        given.push_back({name, value});
      }
    }
    if (screenshot.empty()) {
      vexlo::app::OptionJob read;
      const std::string refusal =
          vexlo::app::ReadJobOptions(given, vexlo::platform::CurrentDirectory(), read);
      if (!refusal.empty()) return Refuse(refusal);
      job = read;
    } else if (!given.empty()) {
      return Refuse("--screenshot FILE takes no other option");
    }
  }
  std::string commandLine;
  if (!options) {
    for (const std::string& argument : arguments) {
      commandLine += (commandLine.empty() ? "" : " ") + argument;
    }
  }
  vexlo::app::RegistryStore store;
  vexlo::platform::win32::Win32DialogHost host(vexlo::res::MainDialogTemplate());
  if (!screenshot.empty()) host.screenshotTo(screenshot);
  vexlo::app::CVexloApp app;
  const auto runModal = [&host](vexlo::platform::DialogEvents& events) { return host.run(events); };
  const int status = job ? app.InitInstance(host, store, runModal, *job)
                         : app.InitInstance(host, store, runModal, commandLine);
  if (!screenshot.empty()) return host.screenshotWritten() ? 0 : 1;
  return status;
}
