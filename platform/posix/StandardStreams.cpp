#include "platform/StandardStreams.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace vexlo::platform {

void ProtectStandardStreams() {
  ::signal(SIGPIPE, SIG_IGN);
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    // open() takes the lowest free number, which is this one.
    const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) ::close(opened);
  }
}

int SetStandardOutputAside() {
  std::fflush(stdout);  // what was written before goes where it was meant to
  const int aside = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  if (aside < 0) return -1;
  if (::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
    ::close(aside);
    return -1;
  }
  return aside;
}

}  // namespace vexlo::platform
