#include "platform/FileDescriptor.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace vexlo::platform {

namespace {

// Moves a descriptor above the standard ones, keeping it close-on-exec. Returns 0 or errno.
int LiftAboveStandard(UniqueFd& fd) {
  if (fd.get() > STDERR_FILENO) return 0;
  const int lifted = ::fcntl(fd.get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  if (lifted < 0) return errno;
  fd.reset(lifted);
  return 0;
}

int SetNonBlocking(const UniqueFd& fd) {
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags | O_NONBLOCK) < 0) return errno;
  return 0;
}

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) reset(other.release());
  return *this;
}

int UniqueFd::release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void UniqueFd::reset(int fd) {
  // close() is not retried on EINTR: on Linux the descriptor is released either way.
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

int MakePipe(Pipe& pipe, PipeBlocking blocking) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return errno;
  Pipe made{UniqueFd(ends[0]), UniqueFd(ends[1])};
  int failure = LiftAboveStandard(made.read);
  if (failure == 0) failure = LiftAboveStandard(made.write);
  if (failure == 0 && blocking != PipeBlocking::kBothBlock) failure = SetNonBlocking(made.read);
  if (failure == 0 && blocking == PipeBlocking::kNeitherBlocks)
    failure = SetNonBlocking(made.write);
  if (failure != 0) return failure;
  pipe = std::move(made);
  return 0;
}

int WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return errno;
    if (written == 0) return EIO;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

void SignalWakeUp(const UniqueFd& writeEnd) {
  const char byte = 1;
  while (::write(writeEnd.get(), &byte, 1) < 0 && errno == EINTR) {
  }
}

void DrainWakeUps(const UniqueFd& readEnd) {
  char bytes[64];
  for (;;) {
    const ssize_t got = ::read(readEnd.get(), bytes, sizeof bytes);
    if (got > 0) continue;
    if (got < 0 && errno == EINTR) continue;
    return;
  }
}

}  // namespace vexlo::platform
