#include "platform/StandardStreams.h"

#include <windows.h>
// After windows.h:
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

}  // namespace vexlo::platform
