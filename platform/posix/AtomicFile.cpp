#include "platform/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/Characters.h"

namespace vexlo::platform {

namespace {

std::string DirectoryOf(const std::string& path) {
  const auto cut = path.rfind('/');
  if (cut == std::string::npos) return ".";
  return cut == 0 ? "/" : path.substr(0, cut);
}

// Makes a rename in the directory durable. Some file systems cannot sync a directory; the renamed
// file is in place for every reader all the same, so a failure here does not fail the write.
void SyncDirectory(const std::string& directory) {
  const UniqueFd fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.valid()) ::fsync(fd.get());
}

// A temporary file of a replacement: the file's name, a dot and six letters or digits.
bool IsTemporaryName(const std::string& name, const std::string& fileName) {
  if (name.size() != fileName.size() + 7 || !name.starts_with(fileName + ".")) return false;
  return std::all_of(name.end() - 6, name.end(), IsAlnum);
}

}  // namespace

int MakeDirectories(const std::string& directory) {
  for (std::size_t cut = directory.find('/', 1);; cut = directory.find('/', cut + 1)) {
    const std::string prefix = directory.substr(0, cut);
    if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    if (cut == std::string::npos) break;
  }
  struct stat info {};
  if (::stat(directory.c_str(), &info) != 0) return errno;
  return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

ReadStatus ReadWholeFile(const std::string& path, std::string& text) {
  text.clear();
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return errno == ENOENT ? ReadStatus::kMissing : ReadStatus::kFailed;
  char buffer[65536];
  while (true) {
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got > 0) {
      text.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0) {
      return ReadStatus::kRead;
    } else if (errno != EINTR) {
      return ReadStatus::kFailed;
    }
  }
}

int ReplaceWholeFile(const std::string& path, std::string_view text) {
  std::string temporary = path + ".XXXXXX";
  UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
  if (!fd.valid()) return errno;
  int error = WriteAll(fd.get(), text);
  if (error == 0 && ::fsync(fd.get()) != 0) error = errno;
  if (const int closed = Close(fd); closed != 0 && error == 0) error = closed;
  if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    return error;
  }
  SyncDirectory(DirectoryOf(path));
  return 0;
}

std::string SetAside(const std::string& path) {
  for (int number = 1; number < 1000; ++number) {
    const std::string aside = path + ".bad" + (number == 1 ? "" : "." + std::to_string(number));
    // link() fails rather than replace a file that exists; the file is then unlinked.
    if (::link(path.c_str(), aside.c_str()) == 0) {
      if (::unlink(path.c_str()) != 0) {
        ::unlink(aside.c_str());
        return {};
      }
    } else if (errno == EEXIST) {
      continue;
    } else {
      // A file system without hard links: rename to a name that is free now.
      struct stat info {};
      if (::lstat(aside.c_str(), &info) == 0) continue;
      if (::rename(path.c_str(), aside.c_str()) != 0) return {};
    }
    SyncDirectory(DirectoryOf(path));
    return aside;
  }
  return {};
}

void RemoveTemporaryFilesOf(const std::string& path) {
  const std::string directory = DirectoryOf(path);
  const std::string fileName = path.substr(path.rfind('/') + 1);
  DIR* folder = ::opendir(directory.c_str());
  if (folder == nullptr) return;
  while (const dirent* entry = ::readdir(folder)) {
    if (IsTemporaryName(entry->d_name, fileName)) {
      ::unlink((directory + "/" + entry->d_name).c_str());
    }
  }
  ::closedir(folder);
}

FileLock::FileLock(const std::string& lockPath, LockWait wait)
    : fd_(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
  if (!fd_.valid()) {
    error_ = errno;
    return;
  }
  const int operation = wait == LockWait::kWait ? LOCK_EX : LOCK_EX | LOCK_NB;
  while (::flock(fd_.get(), operation) != 0) {
    if (errno != EINTR) {
      error_ = errno;
      fd_.reset();
      return;
    }
  }
}

}  // namespace vexlo::platform
