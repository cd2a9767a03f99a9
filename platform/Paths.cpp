#include "platform/Paths.h"

#include "platform/Characters.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

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

bool ChangeDirectory(const std::string& directory) { return ::chdir(directory.c_str()) == 0; }

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

bool ToolReadsAsProtocol(std::string_view path) {
  if (path.starts_with("subfile,")) return true;
  for (char c : path) {
    if (c == ':') return true;
    const bool scheme = IsAlnum(c) || c == '+' || c == '-' || c == '.';
    if (!scheme) return false;
  }
  return false;
}

bool PathIsSafeForCommandLine(std::string_view path) {
  return path.find('"') == std::string_view::npos && !(path.size() > 0 && path[0] == '-') &&
         !ToolReadsAsProtocol(path);
}

bool SequencePatternReads(std::string_view pattern, std::string_view name) {
  // The pattern as the tool reads it: literal text, one number of at least `width` digits, text.
  std::string before, after;
  std::size_t width = 0;
  bool number = false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    std::string& text = number ? after : before;
    if (pattern[i] != '%') {
      text += pattern[i];
      continue;
    }
    std::size_t j = i + 1;
    std::size_t digits = 0;
    for (; j < pattern.size() && IsDigit(pattern[j]); ++j) {
      digits = std::min<std::size_t>(digits * 10 + static_cast<std::size_t>(pattern[j] - '0'), 4096);
    }
    if (j < pattern.size() && pattern[j] == '%') {
      text += '%';
    } else if (j < pattern.size() && pattern[j] == 'd' && !number) {
      number = true;
      width = digits;
    } else {
      return false;  // the tool does not read this as a sequence
    }
    i = j;
  }
  if (!number || name.size() <= before.size() + after.size() || !name.starts_with(before) ||
      !name.ends_with(after)) {
    return false;
  }
  const std::string_view digits = name.substr(before.size(), name.size() - before.size() - after.size());
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
  }
  // printf("%0*d") pads to the width and writes no other leading zero.
  return digits.size() == std::max<std::size_t>(width, 1) ||
         (digits.size() > width && digits[0] != '0');
}

std::size_t ExtensionDot(std::string_view path, bool skipLeadingDot) {
  const auto slash = path.rfind(kPathSeparator);
  const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
  const auto dot = path.rfind('.');
  if (dot == std::string_view::npos || dot < nameStart) return std::string_view::npos;
  if (skipLeadingDot && dot == nameStart) return std::string_view::npos;
  return dot;
}

std::string FromWorkingDirectory(const std::string& path, const std::string& workingDirectory) {
  if (path.empty() || path[0] == kPathSeparator || ToolReadsAsProtocol(path) ||
      workingDirectory.empty()) {
    return path;
  }
  std::string absolute = workingDirectory;
  if (absolute.back() != kPathSeparator) absolute += kPathSeparator;
  return absolute + path;
}

int DeleteFile(const std::string& path) {
  return std::remove(path.c_str()) == 0 ? 0 : (errno != 0 ? errno : EIO);
}

}  // namespace vexlo::platform
