#include "platform/ChildProcess.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

extern char** environ;

namespace vexlo::platform {

namespace {

// The spawn attributes and file actions, released on every path.
class SpawnSetup {
 public:
  SpawnSetup() {
    attributesReady_ = ::posix_spawnattr_init(&attributes_) == 0;
    actionsReady_ = ::posix_spawn_file_actions_init(&actions_) == 0;
  }
  ~SpawnSetup() {
    if (attributesReady_) ::posix_spawnattr_destroy(&attributes_);
    if (actionsReady_) ::posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  // The parent's threads may block signals and the program may ignore SIGPIPE; a tool must
  // not inherit either. Returns 0 or errno.
  int ResetSignals() {
    if (!attributesReady_) return ENOMEM;
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    int failure = ::posix_spawnattr_setsigmask(&attributes_, &none);
    if (failure == 0) failure = ::posix_spawnattr_setsigdefault(&attributes_, &all);
    if (failure == 0) {
      failure =
          ::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    return failure;
  }

  // Both descriptors must be above 2 (MakePipe guarantees it), so that no dup2 overwrites the
  // source of a later one. Returns 0 or errno.
  int RedirectStandardStreams(int standardInput, int output) {
    if (!actionsReady_) return ENOMEM;
    int failure = ::posix_spawn_file_actions_adddup2(&actions_, standardInput, STDIN_FILENO);
    if (failure == 0)
      failure = ::posix_spawn_file_actions_adddup2(&actions_, output, STDOUT_FILENO);
    if (failure == 0)
      failure = ::posix_spawn_file_actions_adddup2(&actions_, output, STDERR_FILENO);
    return failure;
  }

  const posix_spawnattr_t* attributes() const { return &attributes_; }
  const posix_spawn_file_actions_t* actions() const { return &actions_; }

 private:
  posix_spawnattr_t attributes_;
  posix_spawn_file_actions_t actions_;
  bool attributesReady_ = false;
  bool actionsReady_ = false;
};

// glibc's posix_spawn reports a failed exec as its result. Elsewhere a failed exec may show
// only as exit status 127, so check beforehand that the file is an executable regular file.
int CheckExecutable([[maybe_unused]] const std::string& path) {
#if defined(__GLIBC__)
  return 0;
#else
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return errno;
  if (!S_ISREG(info.st_mode)) return EACCES;
  return ::access(path.c_str(), X_OK) == 0 ? 0 : errno;
#endif
}

}  // namespace

ChildProcess::~ChildProcess() {
  Kill();
  Reap();
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept : pid_(std::exchange(other.pid_, -1)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    Kill();
    Reap();
    pid_ = std::exchange(other.pid_, -1);
  }
  return *this;
}

int ChildProcess::Spawn(const std::vector<std::string>& arguments, int standardInput, int output) {
  if (pid_ >= 0) return EBUSY;
  if (arguments.empty()) return ENOENT;
  if (const int failure = CheckExecutable(arguments[0]); failure != 0) return failure;
  SpawnSetup setup;
  int failure = setup.ResetSignals();
  if (failure == 0) failure = setup.RedirectStandardStreams(standardInput, output);
  if (failure != 0) return failure;
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  failure = ::posix_spawn(&pid, argv[0], setup.actions(), setup.attributes(), argv.data(), environ);
  if (failure != 0) return failure;
  pid_ = pid;
  return 0;
}

bool ChildProcess::TryReap(int& waitStatus) {
  if (pid_ < 0) return false;
  int status = 0;
  pid_t reaped;
  do {
    reaped = ::waitpid(pid_, &status, WNOHANG);
  } while (reaped < 0 && errno == EINTR);
  if (reaped == 0) return false;
  // ECHILD (someone else reaped it, e.g. SIGCHLD ignored) also means it has gone.
  waitStatus = reaped == pid_ ? status : -1;
  pid_ = -1;
  return true;
}

void ChildProcess::Kill() {
  // An unreaped child keeps its pid, so the signal cannot reach another process.
  if (pid_ >= 0) ::kill(pid_, SIGKILL);
}

int ChildProcess::Reap() {
  if (pid_ < 0) return -1;
  int status = 0;
  pid_t reaped;
  do {
    reaped = ::waitpid(pid_, &status, 0);
  } while (reaped < 0 && errno == EINTR);
  pid_ = -1;
  return reaped > 0 ? status : -1;
}

}  // namespace vexlo::platform
