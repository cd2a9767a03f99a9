#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Paths: the separator, the program's and the working directory, paths safe for a command line.

namespace vexlo::platform {

/// The one path separator that every derivation of file names uses.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

/// The directory of the running executable (from /proc/self/exe; on Windows from
/// GetModuleFileName), without a trailing separator; empty when it cannot be read.
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

/// True when FFmpeg would open the path through a protocol rather than as a plain file: its
/// first component is a run of letters, digits, '+', '-' and '.' (maybe empty) followed by ':'
/// ("file:/x/clip.mp4", "pipe:1", "c:clip"), or it begins with "subfile,". A path that begins with
/// '/' never is.
bool ToolReadsAsProtocol(std::string_view path);

/// True when a path can be put between double quotes on a tool's command line and reach the tool
/// as one argument that the tool takes for a plain file's path: no double quote, it does not begin
/// with '-', and the tool would not read it as a protocol.
bool PathIsSafeForCommandLine(std::string_view path);

/// True when `pattern` is an image-sequence name that the tool expands with a number ("%d",
/// "%03d"; "%%" is a literal '%') and `name` is one of the names it expands to (img%03d.jpg
/// reads img001.jpg and img1000.jpg).
bool SequencePatternReads(std::string_view pattern, std::string_view name);

/// The position of the '.' that starts a file name's extension: the last '.' in the path's last
/// component (never in a folder's name), not counting one that is that component's first
/// character when `skipLeadingDot` is set; npos when the name has none.
std::size_t ExtensionDot(std::string_view path, bool skipLeadingDot = false);

/// True when a path names its file from the root: it begins with '/' (on Windows with a drive,
/// "C:", or with a backslash).
bool IsAbsolutePath(std::string_view path);

/// A path given relative to the caller's working folder made absolute from `workingDirectory`;
/// an empty path, an absolute one and one that the tool reads as a protocol stay as they are.
std::string FromWorkingDirectory(const std::string& path, const std::string& workingDirectory);

/// Deletes a file by name: 0 when it was removed, else the errno of the failure (ENOENT when
/// there was no such file).
[[nodiscard]] int DeleteFile(const std::string& path);

}  // namespace vexlo::platform
