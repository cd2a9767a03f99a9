#pragma once

#include <string>
#include <vector>

namespace vexlo::platform {

/// Gives a file a new name, replacing a file that already has it (on POSIX in one step, so the
/// new name always names a whole file). 0, or the errno of the failure.
[[nodiscard]] int RenameReplacing(const std::string& from, const std::string& to);

/// The names of the entries of a folder, "." and ".." left out; empty when it cannot be read.
std::vector<std::string> FolderEntries(const std::string& folder);

}  // namespace vexlo::platform
