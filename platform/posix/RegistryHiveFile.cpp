#include "platform/RegistryHive.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/Characters.h"
#include "platform/FileDescriptor.h"
#include "platform/Paths.h"

// The hive files: reading them, the lock between writers, and the replacement of the whole file.

namespace vexlo::platform {

namespace {

enum class ReadStatus { kRead, kMissing, kFailed };

ReadStatus ReadWholeFile(const std::string& path, std::string& text) {
  text.clear();
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return errno == ENOENT ? ReadStatus::kMissing : ReadStatus::kFailed;
  char buffer[65536];
  ReadStatus status = ReadStatus::kRead;
  while (true) {
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got > 0) {
      text.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0) {
      break;
    } else if (errno != EINTR) {
      status = ReadStatus::kFailed;
      break;
    }
  }
  return status;
}

// mkdir -p with mode 0700 for every directory it creates.
// 0, or the errno of what failed (ENOTDIR when the path is there but no directory).
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

// Makes a rename in the directory durable. Some file systems cannot sync a directory; the renamed
// file is in place for every reader all the same, so a failure here does not fail the write.
void SyncDirectory(const std::string& directory) {
  const UniqueFd fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.valid()) ::fsync(fd.get());
}

// Writes a temporary file beside `path`, syncs it and renames it over `path`. 0, or the errno of
// the step that failed (the temporary file is then removed).
int ReplaceFile(const std::string& directory, const std::string& path, std::string_view text) {
  std::string temporary = path + ".XXXXXX";
  UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
  if (!fd.valid()) return errno;
  int error = WriteAll(fd.get(), text);
  if (error == 0 && ::fsync(fd.get()) != 0) error = errno;
  if (::close(fd.release()) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    return error;
  }
  SyncDirectory(directory);
  return 0;
}

// An exclusive advisory lock on a file beside the hive, held for the object's lifetime. flock
// locks belong to the open file description, so two threads of one process exclude each other
// as two processes do.
class HiveLock {
 public:
  explicit HiveLock(const std::string& hivePath, bool wait = true)
      : fd_(::open((hivePath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (!fd_.valid()) {
      error_ = errno;
      return;
    }
    while (::flock(fd_.get(), wait ? LOCK_EX : LOCK_EX | LOCK_NB) != 0) {
      if (errno != EINTR) {
        error_ = errno;
        fd_.reset();
        return;
      }
    }
  }
  bool Held() const { return fd_.valid(); }
  /// Why the lock is not held: the errno of the open or of the lock.
  int error() const { return error_; }

 private:
  UniqueFd fd_;  // closing releases the lock
  int error_ = 0;
};

std::string DirectoryOf(const std::string& path) {
  return path.substr(0, path.rfind('/'));
}

// The file a path names once its symbolic links are followed (also when the last one points to
// a file that does not exist yet), so that the hive file may be a link into another folder and
// is written through it. Too many links: the path as it is.
std::string FollowLinks(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::string target(static_cast<std::size_t>(info.st_size) + 1, '\0');
    const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return path;
    target.resize(static_cast<std::size_t>(length));
    path = target.front() == '/' ? target : DirectoryOf(path) + "/" + target;
  }
  return path;
}

// Renames a hive file that could not be read whole to "<name>.bad", or "<name>.bad.2", ".bad.3",
// ... when that is taken, so that an earlier one is never overwritten. Call with the lock held.
bool SetAside(const std::string& path) {
  for (int number = 1; number < 1000; ++number) {
    const std::string aside = path + ".bad" + (number == 1 ? "" : "." + std::to_string(number));
    // link() fails rather than replace a file that exists; the hive is then unlinked.
    if (::link(path.c_str(), aside.c_str()) == 0) {
      if (::unlink(path.c_str()) != 0) {
        ::unlink(aside.c_str());
        return false;
      }
    } else if (errno == EEXIST) {
      continue;
    } else {
      // A file system without hard links: rename to a name that is free now.
      struct stat info {};
      if (::lstat(aside.c_str(), &info) == 0) continue;
      if (::rename(path.c_str(), aside.c_str()) != 0) return false;
    }
    SyncDirectory(DirectoryOf(path));
    return true;
  }
  return false;
}

// The hive as stored, for reading: nothing when the file is missing or unreadable. What cannot
// be read of a file whose header is right is left out; a file without the header is set aside
// under the lock, unless a writer has replaced it in the meantime.
std::optional<RegistryHive> LoadForReading(RegistryRoot root) {
  const std::string path = FollowLinks(RegistryHivePath(root));
  std::string text;
  bool complete = true;
  if (ReadWholeFile(path, text) != ReadStatus::kRead) return std::nullopt;
  if (auto hive = ParseRegistryHive(text, root, &complete)) return hive;
  HiveLock lock(RegistryHivePath(root));
  if (!lock.Held() || ReadWholeFile(path, text) != ReadStatus::kRead) return std::nullopt;
  if (auto hive = ParseRegistryHive(text, root, &complete)) return hive;
  SetAside(path);
  return std::nullopt;
}

// The hive as stored, for changing: an empty hive for a missing file or one without the header,
// what could be read of a file with lines that could not; such a file is set aside first, so the
// write keeps every value it could read and the old file stays as it was under its new name.
// Nothing when the file cannot be read or set aside, so it is never replaced. Call with the lock
// held.
std::optional<RegistryHive> LoadForWriting(const std::string& path, RegistryRoot root,
                                           RegistryWriteResult& failure) {
  std::string text;
  const ReadStatus status = ReadWholeFile(path, text);
  if (status == ReadStatus::kMissing) return RegistryHive{};
  if (status == ReadStatus::kFailed) {
    failure = {RegistryWriteStep::kRead, errno};
    return std::nullopt;
  }
  bool complete = true;
  auto hive = ParseRegistryHive(text, root, &complete);
  if (hive && complete) return hive;
  if (!SetAside(path)) {
    failure = {RegistryWriteStep::kSetAside, errno != 0 ? errno : EIO};
    return std::nullopt;
  }
  return hive ? std::move(hive) : RegistryHive{};
}

// A temporary file of a write: the hive file's name, a dot and six letters or digits.
bool IsTemporaryName(const std::string& name, const std::string& hiveName) {
  if (name.size() != hiveName.size() + 7 || !name.starts_with(hiveName + ".")) return false;
  return std::all_of(name.end() - 6, name.end(), IsAlnum);
}

void RemoveTemporaryFilesOf(const std::string& hivePath) {
  const std::string directory = DirectoryOf(hivePath);
  const std::string hiveName = hivePath.substr(directory.size() + 1);
  DIR* folder = ::opendir(directory.c_str());
  if (folder == nullptr) return;
  while (const dirent* entry = ::readdir(folder)) {
    if (IsTemporaryName(entry->d_name, hiveName)) {
      ::unlink((directory + "/" + entry->d_name).c_str());
    }
  }
  ::closedir(folder);
}

}  // namespace

std::string RegistryHivePath(RegistryRoot root) {
  return ConfigDirectory() + kPathSeparator + std::string(RegistryRootName(root)) + ".reg";
}

bool KeyExists(RegistryRoot root, const std::string& keyPath) {
  if (!IsValidRegistryKeyPath(keyPath)) return false;
  if (keyPath.empty()) return true;
  const auto hive = LoadForReading(root);
  return hive && HasRegistryKey(*hive, keyPath);
}

std::optional<RegistryValue> QueryValue(RegistryRoot root, const std::string& keyPath,
                                        const std::string& name) {
  if (!IsValidRegistryKeyPath(keyPath)) return std::nullopt;
  auto hive = LoadForReading(root);
  if (!hive) return std::nullopt;
  const RegistryValue* value = FindRegistryValue(*hive, keyPath, name);
  if (!value) return std::nullopt;
  return *value;
}

RegistryWriteResult SetValues(RegistryRoot root, const std::string& keyPath,
                              const RegistryValues& values) {
  const bool namesValid = std::all_of(values.begin(), values.end(), [](const auto& value) {
    return IsValidRegistryValueName(value.first);
  });
  if (!IsValidRegistryKeyPath(keyPath) || !namesValid) return {RegistryWriteStep::kName, EINVAL};
  const std::string configuredPath = RegistryHivePath(root);
  if (const int error = MakeDirectories(DirectoryOf(configuredPath)); error != 0) {
    return {RegistryWriteStep::kDirectory, error};
  }
  HiveLock lock(configuredPath);
  if (!lock.Held()) return {RegistryWriteStep::kLock, lock.error()};
  const std::string path = FollowLinks(configuredPath);
  const std::string directory = DirectoryOf(path);
  RegistryWriteResult failure;
  auto hive = LoadForWriting(path, root, failure);
  if (!hive) return failure;
  for (const auto& [name, value] : values) PutRegistryValue(*hive, keyPath, name, value);
  if (const int error = ReplaceFile(directory, path, FormatRegistryHive(*hive, root)); error != 0) {
    return {RegistryWriteStep::kReplace, error};
  }
  return {};
}

void RemoveStaleTemporaryFiles(RegistryRoot root) {
  const std::string path = RegistryHivePath(root);
  // Writers make their temporary file only while they hold the lock: what is there while this
  // holds it was left by a write that never ended. A lock held elsewhere: try at the next start.
  HiveLock lock(path, false);
  if (!lock.Held()) return;
  RemoveTemporaryFilesOf(path);
  const std::string target = FollowLinks(path);
  if (target != path) RemoveTemporaryFilesOf(target);
}

}  // namespace vexlo::platform