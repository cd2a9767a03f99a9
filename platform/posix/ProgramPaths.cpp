#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/Paths.h"

// Where the program, its settings and its state live on POSIX systems.

namespace vexlo::platform {

std::string ExecutableDirectory() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  std::string path = exe.string();
  const auto cut = path.rfind(kPathSeparator);
  if (cut == std::string::npos) return path;
  path.resize(cut == 0 ? 1 : cut);
  return path;
}

std::string CurrentDirectory() {
  std::error_code ec;
  auto current = std::filesystem::current_path(ec);
  return ec ? std::string() : current.string();
}

bool ChangeDirectory(const std::string& directory) {
  return ::chdir(directory.c_str()) == 0;
}

std::string ConfigDirectory() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg) return std::string(xdg) + "/vexlo";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.config/vexlo";
}

std::string StateDirectory() {
  const char* xdg = std::getenv("XDG_STATE_HOME");
  if (xdg && *xdg) return std::string(xdg) + "/vexlo";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.local/state/vexlo";
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  if (a.empty() || b.empty()) return false;
  std::error_code ec;
  const bool same = std::filesystem::equivalent(a, b, ec);
  return !ec && same;
}

}  // namespace vexlo::platform
