#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <random>

#include "platform/Characters.h"

// Files Vexlo keeps for itself, on Windows: C run-time descriptors that no child inherits, a
// replacement by MoveFileEx (which replaces the old file in one step on NTFS), and a lock that is
// a byte-range lock of the lock file (released by the system when the process ends).

namespace vexlo::platform {

namespace {

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

std::string DirectoryOf(const std::string& path) {
  const auto cut = path.find_last_of("\\/");
  return cut == std::string::npos ? "." : path.substr(0, cut);
}

int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
      return EACCES;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
      return EEXIST;
    case ERROR_LOCK_VIOLATION:
    case ERROR_SHARING_VIOLATION:
      return EWOULDBLOCK;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    default:
      return EIO;
  }
}

std::string RandomSuffix() {
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937 generator{std::random_device{}()};
  std::uniform_int_distribution<int> pick(0, sizeof kLetters - 2);
  std::string suffix(6, ' ');
  for (char& c : suffix) c = kLetters[pick(generator)];
  return suffix;
}

// Where the folders of a path begin: after "X:\" or "\\server\share\".
std::size_t FirstFolderEnd(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':') return path.find_first_of("\\/", 3);
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    const auto share = path.find_first_of("\\/", 2);
    const auto end = share == std::string::npos ? share : path.find_first_of("\\/", share + 1);
    return end == std::string::npos ? end : path.find_first_of("\\/", end + 1);
  }
  return path.find_first_of("\\/", 1);
}

}  // namespace

int MakeDirectories(const std::string& directory) {
  for (std::size_t cut = FirstFolderEnd(directory);;
       cut = directory.find_first_of("\\/", cut + 1)) {
    const std::string prefix = directory.substr(0, cut);
    if (!::CreateDirectoryA(prefix.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
      return ErrnoOf(::GetLastError());
    }
    if (cut == std::string::npos) break;
  }
  const DWORD attributes = ::GetFileAttributesA(directory.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return ErrnoOf(::GetLastError());
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : ENOTDIR;
}

ReadStatus ReadWholeFile(const std::string& path, std::string& text) {
  text.clear();
  const UniqueFd fd(::_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT));
  if (!fd.valid()) return errno == ENOENT ? ReadStatus::kMissing : ReadStatus::kFailed;
  char buffer[65536];
  while (true) {
    const int got = ::_read(fd.get(), buffer, sizeof buffer);
    if (got > 0) {
      text.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0) {
      return ReadStatus::kRead;
    } else {
      return ReadStatus::kFailed;
    }
  }
}

int ReplaceWholeFile(const std::string& path, std::string_view text) {
  std::string temporary;
  UniqueFd fd;
  for (int attempt = 0; attempt < 100 && !fd.valid(); ++attempt) {
    temporary = path + "." + RandomSuffix();
    fd.reset(::_open(temporary.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                     _S_IREAD | _S_IWRITE));
    if (!fd.valid() && errno != EEXIST) return errno;
  }
  if (!fd.valid()) return EEXIST;
  int error = WriteAll(fd.get(), text);
  if (error == 0 && ::_commit(fd.get()) != 0) error = errno;
  if (const int closed = Close(fd); closed != 0 && error == 0) error = closed;
  if (error == 0 && !::MoveFileExA(temporary.c_str(), path.c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = ErrnoOf(::GetLastError());
  }
  if (error != 0) ::DeleteFileA(temporary.c_str());
  return error;
}

std::string SetAside(const std::string& path) {
  for (int number = 1; number < 1000; ++number) {
    const std::string aside = path + ".bad" + (number == 1 ? "" : "." + std::to_string(number));
    // Without MOVEFILE_REPLACE_EXISTING a name that is taken is never overwritten.
    if (::MoveFileExA(path.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH)) return aside;
    const DWORD error = ::GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) {
      errno = ErrnoOf(error);
      return {};
    }
  }
  return {};
}

void RemoveTemporaryFilesOf(const std::string& path) {
  const std::string directory = DirectoryOf(path);
  const std::string fileName = path.substr(path.find_last_of("\\/") + 1);
  WIN32_FIND_DATAA found{};
  HANDLE search = ::FindFirstFileA((path + ".??????").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = found.cFileName;
    if (name.size() == fileName.size() + 7 && name.starts_with(fileName + ".") &&
        std::all_of(name.end() - 6, name.end(), IsAlnum)) {
      ::DeleteFileA((directory + "\\" + name).c_str());
    }
  } while (::FindNextFileA(search, &found));
  ::FindClose(search);
}

FileLock::FileLock(const std::string& lockPath, LockWait wait)
    : fd_(::_open(lockPath.c_str(), _O_RDWR | _O_CREAT | _O_BINARY | _O_NOINHERIT,
                  _S_IREAD | _S_IWRITE)) {
  if (!fd_.valid()) {
    error_ = errno;
    return;
  }
  OVERLAPPED whole{};
  const DWORD flags =
      LOCKFILE_EXCLUSIVE_LOCK | (wait == LockWait::kTry ? LOCKFILE_FAIL_IMMEDIATELY : 0);
  HANDLE file = reinterpret_cast<HANDLE>(::_get_osfhandle(fd_.get()));
  if (!::LockFileEx(file, flags, 0, 1, 0, &whole)) {
    error_ = ErrnoOf(::GetLastError());
    fd_.reset();
  }
}

}  // namespace vexlo::platform
