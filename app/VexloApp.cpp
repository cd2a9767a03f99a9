#include "app/VexloApp.h"

#include <filesystem>
#include <system_error>

#include "app/VexloDlg.h"
#include "platform/Paths.h"
#include "platform/RegistryHive.h"
#include "platform/LeadingNumber.h"
#include "process/LogTexts.h"

namespace vexlo::app {

CommandLineFields ParseCommandLine(std::string_view commandLine) {
  CommandLineFields fields;
  if (commandLine.empty()) return fields;
  std::size_t start = 0;
  for (;;) {
    const auto comma = commandLine.find(',', start);
    const auto field = commandLine.substr(
        start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    switch (fields.count) {
      case 0:
        fields.source = field;
        break;
      case 1:
        fields.videoDestination = field;
        break;
      case 2:
      case 3:
        if (!field.empty() && !platform::HasLeadingNumber(field) && fields.refusal.empty()) {
          fields.refusal = process::text::CommaSplitsFields(fields.count + 1, field);
        }
        (fields.count == 2 ? fields.profile : fields.crf) = platform::LeadingInteger(field);
        break;
      default:
        break;
    }
    ++fields.count;
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return fields;
}

std::string JoinArguments(const std::vector<std::string>& arguments) {
  std::string line;
  for (std::size_t i = 0; i < arguments.size(); ++i) line += (i ? " " : "") + arguments[i];
  return line;
}

void DirectoryState::ComputeProgramDirectory(const std::string& override) {
  programDirectory_ = override.empty() ? platform::ExecutableDirectory() : override;
}

void DirectoryState::SaveWorkingDirectory() {
  savedDirectory_ = platform::CurrentDirectory();
}

void DirectoryState::RestoreWorkingDirectory() const {
  platform::ChangeDirectory(savedDirectory_);
}

namespace {

bool IsExistingFile(const std::string& path) {
  std::error_code error;
  return !path.empty() && std::filesystem::is_regular_file(path, error);
}

}  // namespace

int Application::RunWindow(hosts::DialogHost& host, RegistryStore& store,
                            const std::function<int(hosts::DialogEvents&)>& runModal,
                            std::string_view commandLine, const std::string& programDirectory) {
  platform::RemoveStaleTemporaryFiles(platform::RegistryRoot::kCurrentUser);
  CommandLineFields fields = ParseCommandLine(commandLine);
  // Paths on the command line are the caller's: relative ones are taken from the working folder
  // the program was started in.
  const std::string workingDirectory = platform::CurrentDirectory();
  fields.source = platform::FromWorkingDirectory(fields.source, workingDirectory);
  fields.videoDestination =
      platform::FromWorkingDirectory(fields.videoDestination, workingDirectory);
  MainWindow dialog(host, store, programDirectory);
  if (fields.count >= 2) {
    dialog.PresetAutomaticMode(fields);
  } else if (fields.count == 1 && IsExistingFile(fields.source)) {
    // "Open with Vexlo": the window opens as usual, with the file as its source.
    dialog.PresetSource(fields.source);
  }
  runModal(dialog);
  return dialog.ExitStatus();
}

int Application::RunOptionJob(hosts::DialogHost& host, RegistryStore& store,
                            const std::function<int(hosts::DialogEvents&)>& runModal,
                            const OptionJob& job, const std::string& programDirectory) {
  MainWindow dialog(host, store, programDirectory);
  dialog.PresetOptionJob(job);
  runModal(dialog);
  return dialog.ExitStatus();
}

}  // namespace vexlo::app
