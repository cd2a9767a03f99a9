#pragma once

#include <map>
#include <string>
#include <vector>

#include "encode/EncoderSettings.h"

namespace vexlo::app {
class RegistryStore;
}

namespace vexlo::testing {

/// A new empty folder under the test's temporary folder, as a canonical path.
std::string MakeTempDirectory(const std::string& prefix = "vexlo");
/// Points XDG_CONFIG_HOME (on Windows: clears the settings key) and the state folder (the saved
/// queue's, SetStateHome) at a new empty folder for as long as it lives.
class ConfigHome {
 public:
  ConfigHome();
  ~ConfigHome();
  const std::string& path() const { return path_; }

 private:
  std::string path_, previous_;
};
/// Points the folder where Vexlo keeps its state (XDG_STATE_HOME; LOCALAPPDATA on Windows) at
/// `folder` for the rest of the test program.
void SetStateHome(const std::string& folder);
/// The path with each '/' replaced by the platform's separator (tables and tests write '/').
std::string Native(std::string path);
/// Another name of an existing file: a symbolic link (on Windows, where the C++ library makes
/// none, a hard link).
void MakeLink(const std::string& file, const std::string& link);
/// The descriptors (on Windows: handles) and the threads the test program holds now.
long OpenDescriptors();
long Threads();
/// A clip made once per test run by the clips fixture (see tests/support/make_clips.sh).
std::string Clip(const std::string& name);
std::string ReadAll(const std::string& path);
/// Runs a shell command line and returns its standard output.
std::string Capture(const std::string& command);
std::size_t Count(const std::string& text, const std::string& what);
/// The settings values present in the settings key, as text (numbers in decimal), by name.
std::map<std::string, std::string> StoredSettings(const app::RegistryStore& store);
/// The rows of a table in tests/data: fields split at " | ", "//" lines and blank lines skipped,
/// "\r", "\n" and "\t" in a field read as CR, LF and a tab, '/' as the path separator.
std::vector<std::vector<std::string>> TableRows(const std::string& file);
/// Encoder settings from "gpu=1 fps=7 deinterlace ...": absent numbers 0, absent flags off.
encode::EncoderSettings ParseSettings(const std::string& text);

}  // namespace vexlo::testing
