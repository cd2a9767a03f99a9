#pragma once

#include <string>
#include <string_view>

namespace vexlo::platform {

/// The one path separator that every derivation of file names uses.
inline constexpr char kPathSeparator = '/';

/// The directory of the running executable (from /proc/self/exe), without a trailing
/// separator; empty when it cannot be read.
std::string ExecutableDirectory();

/// The process's current directory; empty when it cannot be read.
std::string CurrentDirectory();
/// Makes a directory the current one; false when that failed.
bool ChangeDirectory(const std::string& directory);

/// The user's configuration directory for Vexlo: ${XDG_CONFIG_HOME:-$HOME/.config}/vexlo.
std::string ConfigDirectory();
/// Where Vexlo keeps what it writes for itself when the program's folder cannot take it:
/// ${XDG_STATE_HOME:-$HOME/.local/state}/vexlo.
std::string StateDirectory();

/// True when both names lead to the same file: the same text, or two existing names of one file
/// (another spelling, a link). Used so that no job ever deletes or overwrites its own input.
bool SameFile(const std::string& a, const std::string& b);

/// True when a path can be put between double quotes on a tool's command line and reach the tool
/// as one argument that the tool takes for a path: no double quote, and it does not begin with '-'.
bool PathIsSafeForCommandLine(std::string_view path);

/// Deletes a file by name; the result says whether a file was removed.
bool DeleteFile(const std::string& path);

}  // namespace vexlo::platform
