#include "platform/FileOperations.h"

#include <windows.h>

#include <cerrno>
#include <string_view>

// Names are text in the system's ANSI code page, as the "A" functions take them.

namespace vexlo::platform {

namespace {

int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return EACCES;
    default:
      return EIO;
  }
}

}  // namespace

int RenameReplacing(const std::string& from, const std::string& to) {
  if (::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return 0;
  return ErrnoOf(::GetLastError());
}


PathInfo LookAt(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
    return {PathKind::kMissing, ErrnoOf(::GetLastError()), 0};
  }
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return {PathKind::kFolder, 0, 0};
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) return {PathKind::kOther, 0, 0};
  return {PathKind::kFile, 0,
          static_cast<long long>((static_cast<unsigned long long>(data.nFileSizeHigh) << 32) |
                                 data.nFileSizeLow)};
}

int CanRead(const std::string& path) {
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ErrnoOf(::GetLastError());
  ::CloseHandle(file);
  return 0;
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
