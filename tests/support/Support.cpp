#include "tests/support/Support.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#ifdef _WIN32
#include <windows.h>
// After windows.h:
#include <tlhelp32.h>
#define popen _popen
#define pclose _pclose
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>
#include <vector>

#include "app/RegistryStore.h"
#include "app/SettingsTable.h"
#include "platform/Paths.h"
#include "platform/RegistryHive.h"

namespace vexlo::testing {

namespace {

// The folders the tests made, removed with what they hold when the test program ends (a forked
// child leaves by _exit and removes nothing). Tests make them from their own thread, one at a
// time, as they draw the names.
struct MadeFolders {
  ~MadeFolders() {
    for (const std::string& path : paths) {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  }
  std::vector<std::string> paths;
};

}  // namespace

std::string MakeTempDirectory(const std::string& prefix) {
  static MadeFolders made;
  static std::mt19937 random(std::random_device{}());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string path = ::testing::TempDir() + prefix + "_" + std::to_string(random());
    if (std::filesystem::create_directory(path)) {
      made.paths.push_back(path);
      return std::filesystem::canonical(path).string();
    }
  }
  ADD_FAILURE() << "no temporary folder " << prefix;
  return {};
}

#ifdef _WIN32
// On Windows the settings live in the registry: a test's store starts and ends without the key.
void ClearSettingsKey() {
  ::RegDeleteTreeA(HKEY_CURRENT_USER, app::kSettingsKey);
}

ConfigHome::ConfigHome() : path_(MakeTempDirectory("config")) {
  ClearSettingsKey();
  SetStateHome(path_ + "\\state");  // the saved queue too
}

ConfigHome::~ConfigHome() {
  ClearSettingsKey();
  std::filesystem::remove_all(path_);
}
#else
ConfigHome::ConfigHome() : path_(MakeTempDirectory("config")) {
  if (const char* old = std::getenv("XDG_CONFIG_HOME")) previous_ = old;
  ::setenv("XDG_CONFIG_HOME", path_.c_str(), 1);
  SetStateHome(path_ + "/state");  // the saved queue too
}

ConfigHome::~ConfigHome() {
  if (!previous_.empty()) ::setenv("XDG_CONFIG_HOME", previous_.c_str(), 1);
  std::filesystem::remove_all(path_);
}
#endif

void SetStateHome(const std::string& folder) {
#ifdef _WIN32
  ::_putenv_s("LOCALAPPDATA", folder.c_str());
#else
  ::setenv("XDG_STATE_HOME", folder.c_str(), 1);
#endif
}

std::string Native(std::string path) {
  std::replace(path.begin(), path.end(), '/', platform::kPathSeparator);
  return path;
}

void MakeLink(const std::string& file, const std::string& link) {
#ifdef _WIN32
  std::filesystem::create_hard_link(file, link);
#else
  std::filesystem::create_symlink(file, link);
#endif
}

#ifdef _WIN32
long OpenDescriptors() {
  DWORD handles = 0;
  ::GetProcessHandleCount(::GetCurrentProcess(), &handles);
  return static_cast<long>(handles);
}

long Threads() {
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  long count = 0;
  for (BOOL more = ::Thread32First(snapshot, &entry); more;
       more = ::Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ++count;
  }
  ::CloseHandle(snapshot);
  return count;
}
#else
long OpenDescriptors() {
  return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
}

long Threads() {
  return std::distance(std::filesystem::directory_iterator("/proc/self/task"), {});
}
#endif

std::string Clip(const std::string& name) {
  const std::string path = std::string(VEXLO_TEST_BINARY_DIR) + "/clips/" + name;
  if (!std::filesystem::exists(path)) ADD_FAILURE() << path << " missing: run the clips fixture";
  return path;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Capture(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    ::pclose(pipe);
  }
  return out;
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::map<std::string, std::string> StoredSettings(const app::RegistryStore& store) {
  std::map<std::string, std::string> values;
  for (const app::SettingRow& row : app::kSettingsTable) {
    const char* name = row.storedName;
    const auto value =
        platform::QueryValue(platform::RegistryRoot::kCurrentUser, app::kSettingsKey, name);
    if (!value) continue;
    if (value->type == platform::kRegDword) {
      values[name] = std::to_string(store.ReadDword(app::kSettingsKey, name, 0));
    } else {
      store.ReadString(app::kSettingsKey, name, "", values[name]);
    }
  }
  return values;
}

std::vector<std::vector<std::string>> TableRows(const std::string& file) {
  std::ifstream in(std::string(VEXLO_TEST_DATA_DIR) + "/" + file);
  if (!in) ADD_FAILURE() << "no table " << file;
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line.starts_with("//")) continue;
    if (line.ends_with(" |")) line += ' ';  // an empty last field
    for (const auto& [escape, byte] : {std::pair{"\\r", '\r'}, {"\\n", '\n'}, {"\\t", '\t'}}) {
      for (auto at = line.find(escape); at != std::string::npos; at = line.find(escape, at)) {
        line.replace(at, 2, 1, byte);
      }
    }
    line = Native(line);
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (auto at = line.find(" | "); at != std::string::npos; at = line.find(" | ", start)) {
      fields.push_back(line.substr(start, at - start));
      start = at + 3;
    }
    fields.push_back(line.substr(start));
    rows.push_back(fields);
  }
  return rows;
}

encode::EncoderSettings ParseSettings(const std::string& text) {
  // The AMD choice goes through AMF unless the row says "vaapi", on every system.
  encode::EncoderSettings s{.amdRoute = encode::AmdRoute::kAmf};
  std::istringstream words(text);
  for (std::string word; words >> word;) {
    const auto equals = word.find('=');
    const std::string name = word.substr(0, equals);
    const int value = equals == std::string::npos ? 1 : std::stoi(word.substr(equals + 1));
    const std::map<std::string, int*> numbers = {{"out", &s.outType},     {"gpu", &s.gpuType},
                                                 {"profile", &s.profile}, {"crf", &s.crf},
                                                 {"fps", &s.fps},         {"resize", &s.resize}};
    if (numbers.count(name)) *numbers.at(name) = value;
    if (name == "deinterlace") s.deinterlace = true;
    if (name == "shortgop") s.shortGop = true;
    if (name == "report") s.useReport = true;
    if (name == "vaapi") s.amdRoute = encode::AmdRoute::kVaapi;
  }
  return s;
}

}  // namespace vexlo::testing
