#pragma once

#include <string>
#include <string_view>
#include <vector>

// File operations: rename over, delete, what a path names, whether a file can be read, a
// folder's entries.

namespace vexlo::platform {

/// Gives a file a new name, replacing a file that already has it (on POSIX in one step, so the
/// new name always names a whole file). 0, or the errno of the failure.
[[nodiscard]] int RenameReplacing(const std::string& from, const std::string& to);

enum class PathKind { kMissing, kFile, kFolder, kOther };

/// What a path names.
struct PathInfo {
  PathKind kind = PathKind::kMissing;
  int error = 0;        // for kMissing: the errno that kept it from being looked at (ENOENT ...)
  long long size = 0;   // for kFile: its size in bytes
};
PathInfo LookAt(const std::string& path);

/// 0 when the file can be opened for reading, else the errno of the failure.
int CanRead(const std::string& path);

/// Appends `bytes` and then `more` to the file (made when missing) in one go; 0, or the errno of
/// what failed. A write that fails half-way is cut back off the file, so that a retry does not
/// repeat a part of the text.
int AppendWhole(const std::string& path, std::string_view bytes, std::string_view more = {});

/// The names of the entries of a folder, "." and ".." left out; empty when it cannot be read.
std::vector<std::string> FolderEntries(const std::string& folder);

}  // namespace vexlo::platform
