// The stand-in tool of the start-up bench: writes the monotonic clock's reading, in nanoseconds,
// into "started" beside itself as the first thing it does, then makes its output (the last
// argument, empty; none when it is run bare) as a tool would, and ends with status 0.
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  std::string path = argv[0];
  path = path.substr(0, path.rfind('/') + 1) + "started";
  char text[32];
  const int length = std::snprintf(text, sizeof text, "%lld",
                                   static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0 || ::write(fd, text, static_cast<std::size_t>(length)) != length) return 1;
  ::close(fd);
  if (argc < 2) return 0;  // run bare, with no command line
  const int output = ::open(argv[argc - 1], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (output < 0) return 1;
  ::close(output);
  return 0;
}
