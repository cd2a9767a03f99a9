#include "platform/FileOperations.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

namespace vexlo::platform {

int RenameReplacing(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

PathInfo LookAt(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return {PathKind::kMissing, errno, 0};
  if (S_ISDIR(status.st_mode)) return {PathKind::kFolder, 0, 0};
  if (!S_ISREG(status.st_mode)) return {PathKind::kOther, 0, 0};
  return {PathKind::kFile, 0, static_cast<long long>(status.st_size)};
}

int CanRead(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  ::close(fd);
  return 0;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* listing = ::opendir(folder.c_str());
  if (listing == nullptr) return names;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  ::closedir(listing);
  return names;
}

}  // namespace vexlo::platform
