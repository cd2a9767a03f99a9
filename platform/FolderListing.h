#pragma once

#include <string>
#include <vector>

// The entries of a folder.

namespace vexlo::platform {

/// What a folder entry is: a regular file (or a link to one), a folder (never a link to one, so
/// a walk cannot loop), or anything else.
enum class EntryKind { kFile, kFolder, kOther };

struct FolderEntry {
  std::string name;  // the bytes the system gives, "." and ".." left out
  EntryKind kind;
};

/// The entries of a folder in the system's order; empty when it cannot be read.
std::vector<FolderEntry> ListFolder(const std::string& folder);

}  // namespace vexlo::platform
