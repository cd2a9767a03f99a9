#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/CommandOptions.h"
#include "app/SettingsTable.h"
#include "hosts/DialogHost.h"

// The application: the comma form's fields, the program and working directories, and the runs of
// the main window.

namespace vexlo::app {

class RegistryStore;

// The fields of a comma-separated command line: SOURCE,DESTINATION[,PROFILE[,CRF]].
struct CommandLineFields {
  int count = 0;                 // every field, those after the fourth included
  std::string source;            // the first field
  std::string videoDestination;  // the second
  int profile = AutomaticValue(&DialogSettings::profile);  // the "Video Profile" position
  int crf = AutomaticValue(&DialogSettings::crf);          // the "CRF (3=Best)" position
  std::string refusal;  // the log line that refuses the command line; empty when usable
};

/// Splits the command line at every comma: no quoting, no escapes, blanks kept. Two or more
/// fields select automatic mode. An empty command line has no fields. A third or fourth field
/// that is not empty but holds no number where atoi looks for one (a comma inside a path split
/// it) refuses the command line; "2abc", " 9" and "" read as atoi reads them.
CommandLineFields ParseCommandLine(std::string_view commandLine);

/// The command line as one text: the arguments after the program's name joined by blanks.
std::string JoinArguments(const std::vector<std::string>& arguments);

// The program directory and the working directory saved around file dialogs.
class DirectoryState {
 public:
  /// The directory of the program's executable, no trailing separator. An override (used by
  /// tests) takes its place when not empty.
  void ComputeProgramDirectory(const std::string& override = {});
  const std::string& CopyProgramDirectory() const { return programDirectory_; }
  /// Remembers the current directory (the file dialogs change it).
  void SaveWorkingDirectory();
  /// Changes back to the remembered directory.
  void RestoreWorkingDirectory() const;

 private:
  std::string programDirectory_;
  std::string savedDirectory_;
};

// The application: parses the command line, runs the main window modally and ends with it.
class Application {
 public:
  /// Runs the main window over a host. `runModal` shows the window and returns when it has
  /// closed. Returns the process's exit status: 0, or in automatic mode non-zero unless the
  /// encode finished with the tool's exit code 0.
  int RunWindow(hosts::DialogHost& host, RegistryStore& store,
                const std::function<int(hosts::DialogEvents&)>& runModal,
                std::string_view commandLine, const std::string& programDirectory = {});
  /// The same for an encode given by options: automatic mode with the job's settings, which
  /// neither reads nor writes the settings store.
  int RunOptionJob(hosts::DialogHost& host, RegistryStore& store,
                   const std::function<int(hosts::DialogEvents&)>& runModal,
                   const OptionJob& job, const std::string& programDirectory = {});
};

}  // namespace vexlo::app
