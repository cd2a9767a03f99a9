#include "platform/Paths.h"

#include "platform/Characters.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace vexlo::platform {

bool IsAbsolutePath(std::string_view path) {
  if (kPathSeparator == '/') return path.starts_with('/');
  // "C:\x" and "\\server\share\x"; "C:x" is relative to a drive's own folder and is kept too.
  return path.starts_with('\\') ||
         (path.size() >= 2 && path[1] == ':' && IsAlnum(path[0]) && !IsDigit(path[0]));
}

bool ToolReadsAsProtocol(std::string_view path) {
  if (path.starts_with("subfile,")) return true;
  // On Windows the tools read "X:" at the start as a drive, never as a protocol.
  if (kPathSeparator == '\\' && path.size() >= 2 && path[1] == ':') return false;
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
      digits =
          std::min<std::size_t>(digits * 10 + static_cast<std::size_t>(pattern[j] - '0'), 4096);
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
  const std::string_view digits =
      name.substr(before.size(), name.size() - before.size() - after.size());
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
  if (path.empty() || path[0] == kPathSeparator || IsAbsolutePath(path) ||
      ToolReadsAsProtocol(path) || workingDirectory.empty()) {
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
