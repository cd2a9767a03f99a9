#pragma once

#include <string>
#include <string_view>

#include "platform/FileDescriptor.h"

// Files that Vexlo keeps for itself (the settings hive, the saved queue): read whole, replaced
// whole through a synced temporary file, set aside when they cannot be read, guarded by a lock
// file. Each system gives its own side (posix/AtomicFile.cpp, win32/AtomicFile.cpp).
namespace vexlo::platform {

/// Makes a directory and the missing ones above it (mode 0700 on POSIX for each one made).
/// 0, or the errno of what failed (ENOTDIR when the path is there but no directory).
int MakeDirectories(const std::string& directory);

enum class ReadStatus { kRead, kMissing, kFailed };

/// Reads a whole file into `text` (cleared first). kFailed leaves errno set.
ReadStatus ReadWholeFile(const std::string& path, std::string& text);

/// Writes `text` into a temporary file beside `path` (its name, a dot and six letters or digits),
/// syncs it and renames it over `path`, so that a reader or a crash only ever sees the old or the
/// new file whole. 0, or the errno of the step that failed (the temporary file is then removed).
[[nodiscard]] int ReplaceWholeFile(const std::string& path, std::string_view text);

/// Renames a file that could not be read to "<name>.bad", or "<name>.bad.2", ".bad.3", ... when
/// that is taken, so that an earlier one is never overwritten. The name it now has, or "" when it
/// could not be renamed. Call with the file's lock held.
std::string SetAside(const std::string& path);

/// Removes the temporary files that replacements of `path` killed before their rename left
/// beside it. Call with the file's lock held, so no replacement is under way.
void RemoveTemporaryFilesOf(const std::string& path);

/// How a lock is taken: waiting for its holder, or giving up at once when it is held.
enum class LockWait { kWait, kTry };

/// An exclusive advisory lock on a file (created when missing), held for the object's lifetime.
/// It belongs to the open file, so two objects of one process exclude each other as two processes
/// do, and the system releases it when its process dies.
class FileLock {
 public:
  FileLock(const std::string& lockPath, LockWait wait);
  bool held() const { return fd_.valid(); }
  /// Why the lock is not held: the errno of the open or of the lock (EWOULDBLOCK: held elsewhere).
  int error() const { return error_; }

 private:
  UniqueFd fd_;  // closing releases the lock
  int error_ = 0;
};

}  // namespace vexlo::platform
