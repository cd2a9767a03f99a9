#include "platform/FolderListing.h"

#include <windows.h>

namespace vexlo::platform {

std::vector<FolderEntry> ListFolder(const std::string& folder) {
  std::vector<FolderEntry> entries;
  const bool ends = !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
  WIN32_FIND_DATAA found{};
  HANDLE search = ::FindFirstFileA((folder + (ends ? "*" : "\\*")).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    const DWORD attributes = found.dwFileAttributes;
    // A reparse point that is a folder (a junction, a folder link) is not walked into.
    EntryKind kind = EntryKind::kFile;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? EntryKind::kOther : EntryKind::kFolder;
    } else if (attributes & FILE_ATTRIBUTE_DEVICE) {
      kind = EntryKind::kOther;
    }
    entries.push_back({name, kind});
  } while (::FindNextFileA(search, &found));
  ::FindClose(search);
  return entries;
}

}  // namespace vexlo::platform
