#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

// Open file descriptors: their ownership, pipes and whole writes.

namespace vexlo::platform {

/// Owns one open file descriptor and closes it when reset or destroyed. Move-only.
/// Closes a descriptor, without retrying (the system's close: close or _close); 0 or errno.
int CloseDescriptor(int fd);

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  /// Gives up ownership without closing; returns the descriptor.
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  /// Closes the descriptor held (if any) and takes `fd` instead.
  void reset(int fd = -1) {
    if (fd_ >= 0) CloseDescriptor(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

/// The two ends of an anonymous pipe.
struct Pipe {
  UniqueFd read;
  UniqueFd write;
};

/// Which ends of a new pipe do not block on read() or write().
enum class PipeBlocking {
  kBothBlock,
  kReadEndNonBlocking,  // a pipe read through poll()
  kNeitherBlocks,       // a wake-up pipe: the writer never waits, the reader drains it
};

/// Makes a pipe whose ends are both close-on-exec, and neither is one of the standard
/// descriptors 0, 1 and 2 (so that redirecting a child's standard streams cannot overwrite
/// them). Returns 0, or the errno of the call that failed (the pipe is then left empty).
int MakePipe(Pipe& pipe, PipeBlocking blocking);

/// Writes every byte at the descriptor's position, across partial writes and interruptions.
/// 0, or the errno of the write that failed (EIO when a write wrote nothing).
[[nodiscard]] int WriteAll(int fd, std::string_view bytes);

/// Writes every byte at a fixed offset without moving the descriptor's position. 0, or the errno
/// of the write that failed.
[[nodiscard]] int WriteAllAt(int fd, std::string_view bytes, long long offset);

/// Creates or truncates a file for reading and writing (mode 0666 before the umask; binary and
/// not inherited by children): its descriptor, or -1 with errno set.
int CreateForWriting(const std::string& path);

/// Closes the descriptor held: 0, or the errno of a close that failed (the descriptor is gone
/// either way).
[[nodiscard]] inline int Close(UniqueFd& fd) {
  return CloseDescriptor(fd.release());
}

/// Writes one byte to a non-blocking descriptor to wake whoever polls its other end. A full
/// pipe already holds a wake-up, so EAGAIN counts as success.
void SignalWakeUp(const UniqueFd& writeEnd);

/// Reads and drops every byte waiting in a non-blocking descriptor.
void DrainWakeUps(const UniqueFd& readEnd);

/// Waits until the descriptor can be read without blocking (bytes, or its end) or the time-out
/// has passed; true when readable.
bool WaitReadable(const UniqueFd& fd, std::chrono::milliseconds timeout);

/// What waiting on a data pipe and a wake-up pipe came to.
enum class Readable { kNeither, kData, kWake, kFailed };
/// Waits without limit until the data pipe or the wake-up pipe can be read; the wake-up wins
/// when both can. kNeither after an interruption: call again.
Readable WaitDataOrWake(const UniqueFd& data, const UniqueFd& wake);

/// Reads what a non-blocking descriptor holds now: the bytes read (> 0), 0 at end-of-file, or
/// -1 with errno set (EAGAIN when nothing is there yet).
long ReadAvailable(const UniqueFd& fd, char* buffer, std::size_t size);

}  // namespace vexlo::platform
