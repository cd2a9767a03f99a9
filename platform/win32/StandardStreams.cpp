#include "platform/StandardStreams.h"

#include <fcntl.h>
#include <io.h>
#include <stdlib.h>

#include <cstdio>

namespace vexlo::platform {

void ProtectStandardStreams() {
  // A standard descriptor without a stream behind it (a program started with no console) is
  // opened on NUL, so that no file opened later takes its number. Windows has no SIGPIPE.
  for (int fd = 0; fd <= 2; ++fd) {
    if (::_get_osfhandle(fd) != -1 && ::_get_osfhandle(fd) != -2) continue;
    const int opened = ::_open("NUL", fd == 0 ? _O_RDONLY : _O_WRONLY);
    if (opened >= 0 && opened != fd) {
      ::_dup2(opened, fd);
      ::_close(opened);
    }
  }
  // A failed assertion or abort() ends the program with its message on standard error, never
  // with a message box that nobody may be there to close.
  ::_set_error_mode(_OUT_TO_STDERR);
}

int SetStandardOutputAside() {
  std::fflush(stdout);  // what was written before goes where it was meant to
  const int aside = ::_dup(1);  // the tools inherit only their own pipes' handles
  if (aside < 0) return -1;
  if (::_dup2(2, 1) != 0) {
    ::_close(aside);
    return -1;
  }
  return aside;
}

}  // namespace vexlo::platform
