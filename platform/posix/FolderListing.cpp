#include "platform/FolderListing.h"

#include <dirent.h>
#include <sys/stat.h>

namespace vexlo::platform {

namespace {

EntryKind KindOf(const std::string& path, unsigned char type) {
  if (type == DT_REG) return EntryKind::kFile;
  if (type == DT_DIR) return EntryKind::kFolder;
  struct stat info {};
  if (type == DT_UNKNOWN) {
    if (::lstat(path.c_str(), &info) != 0) return EntryKind::kOther;
    if (S_ISDIR(info.st_mode)) return EntryKind::kFolder;
    if (!S_ISLNK(info.st_mode)) return S_ISREG(info.st_mode) ? EntryKind::kFile : EntryKind::kOther;
  } else if (type != DT_LNK) {
    return EntryKind::kOther;
  }
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) ? EntryKind::kFile
                                                                   : EntryKind::kOther;
}

}  // namespace

std::vector<FolderEntry> ListFolder(const std::string& folder) {
  std::vector<FolderEntry> entries;
  DIR* listing = ::opendir(folder.c_str());
  if (listing == nullptr) return entries;
  const std::string prefix = folder.ends_with('/') ? folder : folder + "/";
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    entries.push_back({name, KindOf(prefix + name, entry->d_type)});
  }
  ::closedir(listing);
  return entries;
}

}  // namespace vexlo::platform
