#include "platform/FileDescriptor.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
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

int CloseDescriptor(int fd) {
  // close() is not retried on EINTR: on Linux the descriptor is released either way.
  return ::close(fd) == 0 ? 0 : errno;
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

int WriteAllAt(int fd, std::string_view bytes, long long offset) {
  while (!bytes.empty()) {
    const ssize_t written = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return errno;
    if (written == 0) return EIO;
    bytes.remove_prefix(static_cast<std::size_t>(written));
    offset += written;
  }
  return 0;
}

int CreateForWriting(const std::string& path) {
  return ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
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

bool WaitReadable(const UniqueFd& fd, std::chrono::milliseconds timeout) {
  pollfd entry{fd.get(), POLLIN, 0};
  const auto waitMs = std::max<std::chrono::milliseconds::rep>(timeout.count(), 0);
  return ::poll(&entry, 1,
                static_cast<int>(std::min<std::chrono::milliseconds::rep>(waitMs, 1 << 30))) > 0;
}

Readable WaitDataOrWake(const UniqueFd& data, const UniqueFd& wake) {
  pollfd watched[2] = {{data.get(), POLLIN, 0}, {wake.get(), POLLIN, 0}};
  if (::poll(watched, 2, -1) < 0) return errno == EINTR ? Readable::kNeither : Readable::kFailed;
  if (watched[1].revents != 0) return Readable::kWake;
  return watched[0].revents != 0 ? Readable::kData : Readable::kNeither;
}

long ReadAvailable(const UniqueFd& fd, char* buffer, std::size_t size) {
  return static_cast<long>(::read(fd.get(), buffer, size));
}

}  // namespace vexlo::platform
