// The append of the log file: the C library's streams and ftruncate, which both systems' C
// libraries have (mingw-w64 too).
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/FileOperations.h"

namespace vexlo::platform {

int AppendWhole(const std::string& path, std::string_view bytes, std::string_view more) {
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (file == nullptr) return errno != 0 ? errno : EIO;
  errno = 0;
  bool written = std::fseek(file, 0, SEEK_END) == 0;
  const long start = written ? std::ftell(file) : -1;
  written = written && start >= 0 &&
            std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() &&
            std::fwrite(more.data(), 1, more.size(), file) == more.size() && std::fflush(file) == 0;
  int error = written ? 0 : (errno != 0 ? errno : EIO);
  if (!written && start >= 0) {
    // Best effort: the write already failed, so a failing cut leaves nothing better to do.
    [[maybe_unused]] const int cut = ftruncate(fileno(file), static_cast<off_t>(start));
  }
  if (std::fclose(file) != 0 && error == 0) error = errno != 0 ? errno : EIO;
  return error;
}

}  // namespace vexlo::platform
