#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/Paths.h"

// Where the program, its settings and its state live on Windows. Paths are text in the system's
// ANSI code page, as the "A" functions take them.

namespace vexlo::platform {

namespace {

std::string EnvironmentFolder(const char* name, const char* fallbackName) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') value = std::getenv(fallbackName);
  return std::string(value != nullptr && *value != '\0' ? value : ".") + "\\Vexlo";
}

}  // namespace

std::string ExecutableDirectory() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);  // truncated: try again with more room
  }
  const auto cut = path.rfind(kPathSeparator);
  if (cut == std::string::npos) return path;
  // "C:\vexlo.exe" keeps its root's separator: "C:\".
  path.resize(cut == 2 && path[1] == ':' ? cut + 1 : cut);
  return path;
}

std::string CurrentDirectory() {
  const DWORD size = ::GetCurrentDirectoryA(0, nullptr);
  if (size == 0) return {};
  std::string path(size, '\0');
  const DWORD length = ::GetCurrentDirectoryA(size, path.data());
  if (length == 0 || length >= size) return {};
  path.resize(length);
  return path;
}

bool ChangeDirectory(const std::string& directory) {
  return ::SetCurrentDirectoryA(directory.c_str()) != 0;
}

std::string ConfigDirectory() {
  return EnvironmentFolder("APPDATA", "USERPROFILE");
}

std::string StateDirectory() {
  return EnvironmentFolder("LOCALAPPDATA", "APPDATA");
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  if (a.empty() || b.empty()) return false;
  BY_HANDLE_FILE_INFORMATION info[2]{};
  const std::string* names[2] = {&a, &b};
  for (int i = 0; i < 2; ++i) {
    // Opened for nothing but its identity; a folder needs FILE_FLAG_BACKUP_SEMANTICS.
    HANDLE file =
        ::CreateFileA(names[i]->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool read = ::GetFileInformationByHandle(file, &info[i]) != 0;
    ::CloseHandle(file);
    if (!read) return false;
  }
  return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
         info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
         info[0].nFileIndexLow == info[1].nFileIndexLow;
}

}  // namespace vexlo::platform
