#include "platform/FileOperations.h"

#include <windows.h>

#include <cerrno>
#include <string_view>

// Names are text in the system's ANSI code page, as the "A" functions take them.

namespace vexlo::platform {

int RenameReplacing(const std::string& from, const std::string& to) {
  if (::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return 0;
  switch (::GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return EACCES;
    default:
      return EIO;
  }
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry{};
  HANDLE listing = ::FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (listing == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string_view name = entry.cFileName;
    if (name != "." && name != "..") names.emplace_back(name);
  } while (::FindNextFileA(listing, &entry));
  ::FindClose(listing);
  return names;
}

}  // namespace vexlo::platform
