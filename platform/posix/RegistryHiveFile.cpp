#include "platform/RegistryHive.h"

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/AtomicFile.h"
#include "platform/Paths.h"

// The hive files: where they are, the links they may be, and what their reads and writes do with
// a file that cannot be read (platform/AtomicFile does the reading, locking and replacing).

namespace vexlo::platform {

namespace {

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

// The hive as stored, for reading: nothing when the file is missing or unreadable. What cannot
// be read of a file whose header is right is left out; a file without the header is set aside
// under the lock, unless a writer has replaced it in the meantime.
std::optional<RegistryHive> LoadForReading(RegistryRoot root) {
  const std::string path = FollowLinks(RegistryHivePath(root));
  std::string text;
  bool complete = true;
  if (ReadWholeFile(path, text) != ReadStatus::kRead) return std::nullopt;
  if (auto hive = ParseRegistryHive(text, root, &complete)) return hive;
  FileLock lock(RegistryHivePath(root) + ".lock", LockWait::kWait);
  if (!lock.held() || ReadWholeFile(path, text) != ReadStatus::kRead) return std::nullopt;
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
  if (SetAside(path).empty()) {
    failure = {RegistryWriteStep::kSetAside, errno != 0 ? errno : EIO};
    return std::nullopt;
  }
  return hive ? std::move(hive) : RegistryHive{};
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
  FileLock lock(configuredPath + ".lock", LockWait::kWait);
  if (!lock.held()) return {RegistryWriteStep::kLock, lock.error()};
  const std::string path = FollowLinks(configuredPath);
  RegistryWriteResult failure;
  auto hive = LoadForWriting(path, root, failure);
  if (!hive) return failure;
  for (const auto& [name, value] : values) PutRegistryValue(*hive, keyPath, name, value);
  if (const int error = ReplaceWholeFile(path, FormatRegistryHive(*hive, root)); error != 0) {
    return {RegistryWriteStep::kReplace, error};
  }
  return {};
}

void RemoveStaleTemporaryFiles(RegistryRoot root) {
  const std::string path = RegistryHivePath(root);
  // Writers make their temporary file only while they hold the lock: what is there while this
  // holds it was left by a write that never ended. A lock held elsewhere: try at the next start.
  FileLock lock(path + ".lock", LockWait::kTry);
  if (!lock.held()) return;
  RemoveTemporaryFilesOf(path);
  const std::string target = FollowLinks(path);
  if (target != path) RemoveTemporaryFilesOf(target);
}

}  // namespace vexlo::platform