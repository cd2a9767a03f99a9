#include "platform/FileDescriptor.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <thread>

// Pipes on Windows: anonymous pipes whose handles live inside C run-time descriptors, so that the
// runner holds them like any other descriptor. Anonymous pipes cannot be waited on, so a wait
// looks at how many bytes the pipe holds (PeekNamedPipe) and pauses a millisecond in between.

namespace vexlo::platform {

namespace {

using std::chrono::milliseconds;

HANDLE HandleOf(const UniqueFd& fd) {
  return reinterpret_cast<HANDLE>(::_get_osfhandle(fd.get()));
}

// True when the pipe can be read without blocking: it holds bytes, or its writers have gone.
bool PipeReadable(const UniqueFd& fd) {
  DWORD available = 0;
  if (!::PeekNamedPipe(HandleOf(fd), nullptr, 0, nullptr, &available, nullptr)) return true;
  return available > 0;
}

constexpr milliseconds kPipePause{1};

}  // namespace

int CloseDescriptor(int fd) {
  return ::_close(fd) == 0 ? 0 : errno;
}

int MakePipe(Pipe& pipe, PipeBlocking) {
  // Not inheritable: a child gets only the duplicates its spawn makes for it.
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  if (!::CreatePipe(&read, &write, nullptr, 64 * 1024)) return EMFILE;
  Pipe made{UniqueFd(::_open_osfhandle(reinterpret_cast<intptr_t>(read), _O_RDONLY | _O_BINARY)),
            UniqueFd(::_open_osfhandle(reinterpret_cast<intptr_t>(write), _O_WRONLY | _O_BINARY))};
  if (!made.read.valid() || !made.write.valid()) {
    if (!made.read.valid()) ::CloseHandle(read);
    if (!made.write.valid()) ::CloseHandle(write);
    return EMFILE;
  }
  pipe = std::move(made);
  return 0;
}

int WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const unsigned piece = static_cast<unsigned>(std::min<std::size_t>(bytes.size(), 1u << 30));
    const int written = ::_write(fd, bytes.data(), piece);
    if (written < 0) return errno;
    if (written == 0) return EIO;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

int WriteAllAt(int fd, std::string_view bytes, long long offset) {
  HANDLE file = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  while (!bytes.empty()) {
    // Positioned writes through OVERLAPPED offsets leave the descriptor's position alone only
    // for files opened for overlapped I/O; keep it by hand.
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const long long position = ::_lseeki64(fd, 0, SEEK_CUR);
    DWORD written = 0;
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    const BOOL wrote = ::WriteFile(file, bytes.data(), piece, &written, &at);
    ::_lseeki64(fd, position, SEEK_SET);
    if (!wrote) return EIO;
    if (written == 0) return EIO;
    bytes.remove_prefix(written);
    offset += written;
  }
  return 0;
}

int CreateForWriting(const std::string& path) {
  return ::_open(path.c_str(), _O_RDWR | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                 _S_IREAD | _S_IWRITE);
}

void SignalWakeUp(const UniqueFd& writeEnd) {
  // A wake-up already waiting is enough; this also keeps the pipe from filling, so the write
  // never blocks.
  HANDLE handle = HandleOf(writeEnd);
  DWORD waiting = 0;
  if (handle == INVALID_HANDLE_VALUE ||
      (::PeekNamedPipe(handle, nullptr, 0, nullptr, &waiting, nullptr) && waiting > 0)) {
    return;
  }
  DWORD written = 0;
  const char byte = 1;
  ::WriteFile(handle, &byte, 1, &written, nullptr);
}

void DrainWakeUps(const UniqueFd& readEnd) {
  char bytes[64];
  DWORD available = 0;
  while (::PeekNamedPipe(HandleOf(readEnd), nullptr, 0, nullptr, &available, nullptr) &&
         available > 0) {
    DWORD got = 0;
    if (!::ReadFile(HandleOf(readEnd), bytes, std::min<DWORD>(available, sizeof bytes), &got,
                    nullptr)) {
      return;
    }
  }
}

bool WaitReadable(const UniqueFd& fd, milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + std::max(timeout, milliseconds(0));
  for (;;) {
    if (PipeReadable(fd)) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPipePause);
  }
}

Readable WaitDataOrWake(const UniqueFd& data, const UniqueFd& wake) {
  for (;;) {
    if (PipeReadable(wake)) return Readable::kWake;
    if (PipeReadable(data)) return Readable::kData;
    std::this_thread::sleep_for(kPipePause);
  }
}

long ReadAvailable(const UniqueFd& fd, char* buffer, std::size_t size) {
  HANDLE handle = HandleOf(fd);
  DWORD available = 0;
  if (!::PeekNamedPipe(handle, nullptr, 0, nullptr, &available, nullptr)) {
    // The writers have gone: end-of-file; anything else is a failed read.
    if (::GetLastError() == ERROR_BROKEN_PIPE) return 0;
    errno = EIO;
    return -1;
  }
  if (available == 0) {
    errno = EAGAIN;
    return -1;
  }
  DWORD got = 0;
  const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, available));
  if (!::ReadFile(handle, buffer, want, &got, nullptr)) {
    if (::GetLastError() == ERROR_BROKEN_PIPE) return 0;
    errno = EIO;
    return -1;
  }
  return static_cast<long>(got);
}

}  // namespace vexlo::platform
