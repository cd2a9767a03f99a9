#include "platform/ChildProcess.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/FileDescriptor.h"

extern char** environ;

namespace vexlo::platform {

namespace {

// The niceness of a tool run at low priority.
constexpr int kLowNice = 10;

using Clock = std::chrono::steady_clock;

// Between fork and exec (and in the guard, which never execs) the child is a copy of a
// multi-threaded program: only async-signal-safe calls are made there, on data prepared before
// the fork.

void CloseDescriptorsFrom(int lowest) {
#if defined(SYS_close_range)
  if (::syscall(SYS_close_range, static_cast<unsigned>(lowest), ~0U, 0U) == 0) return;
#endif
  rlimit limit{};
  const rlim_t highest = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                             ? limit.rlim_cur
                             : 65536;
  for (rlim_t fd = static_cast<rlim_t>(lowest); fd < highest; ++fd) ::close(static_cast<int>(fd));
}

void WaitMilliseconds(int ms) {
  ::poll(nullptr, 0, ms);
}

// The child's side of the spawn: into the guard's process group, default signal actions, the
// standard streams, the working directory (null: the parent's), exec. A failure writes its errno
// to `report`.
[[noreturn]] void ExecChild(char* const* argv, int standardInput, int output, int report,
                            pid_t parent, pid_t group, const char* directory, bool low) {
  int failure = 0;
  if (::setpgid(0, group) != 0) {
    failure = errno;
  } else if (::getppid() != parent) {
    ::_exit(127);  // the program died during the spawn: its guard may have been and gone
  } else {
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) ::sigaction(signal, &standard, nullptr);
    if (::dup2(standardInput, STDIN_FILENO) < 0 || ::dup2(output, STDOUT_FILENO) < 0 ||
        ::dup2(output, STDERR_FILENO) < 0) {
      failure = errno;
    } else {
      // A directory that cannot be entered leaves the tool where the program itself runs.
      if (directory != nullptr) {
        [[maybe_unused]] const int entered = ::chdir(directory);
      }
      // The tool alone: its guard and this program keep their priority.
      if (low) {
        [[maybe_unused]] const int niced = ::setpriority(PRIO_PROCESS, 0, kLowNice);
      }
      sigset_t none;
      sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      ::execve(argv[0], argv, environ);
      failure = errno;
    }
  }
  [[maybe_unused]] const auto written = ::write(report, &failure, sizeof failure);
  ::_exit(127);
}

void OnGuardSignal(int) {}

// The guard leads the process group that the child then joins. It holds nothing open and blocks
// every signal but SIGKILL and its parent-death signal (which the kernel sends again for every
// thread of the dying program, hence a signal that only wakes it). When the program has died, it
// stops the group as Stop would: SIGTERM, and SIGKILL (itself included) a second later.
[[noreturn]] void GuardGroup(pid_t parent) {
  ::setpgid(0, 0);
  CloseDescriptorsFrom(0);
  struct sigaction wake {};
  wake.sa_handler = OnGuardSignal;
  ::sigaction(SIGUSR1, &wake, nullptr);
  ::prctl(PR_SET_PDEATHSIG, SIGUSR1);
  sigset_t waiting;
  sigfillset(&waiting);
  sigdelset(&waiting, SIGUSR1);
  while (::getppid() == parent) ::sigsuspend(&waiting);
  ::kill(0, SIGTERM);
  WaitMilliseconds(static_cast<int>(ChildProcess::kStopGrace.count()));
  ::kill(0, SIGKILL);
  ::_exit(0);
}

// Blocks every signal of the calling thread for its lifetime, so that a child forked meanwhile
// runs none of the parent's handlers before it has reset them.
class BlockAllSignals {
 public:
  BlockAllSignals() {
    sigset_t all;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &saved_);
  }
  ~BlockAllSignals() { ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }
  BlockAllSignals(const BlockAllSignals&) = delete;
  BlockAllSignals& operator=(const BlockAllSignals&) = delete;

 private:
  sigset_t saved_;
};

pid_t WaitFor(pid_t pid, int& status, int options) {
  pid_t reaped;
  do {
    reaped = ::waitpid(pid, &status, options);
  } while (reaped < 0 && errno == EINTR);
  return reaped;
}

// The lifeline: a pipe whose write end this program alone holds, for its whole life, and never
// writes. Every guard reads the other end, and reads its end once the program has gone, however
// it went. Both ends are closed on exec, so no tool holds the write end. -1 without it.
int LifelineReadEnd() {
  static const int readEnd = [] {
    int ends[2];
    return ::pipe2(ends, O_CLOEXEC) == 0 ? ends[0] : -1;  // ends[1] stays open until the end
  }();
  return readEnd;
}

// The guard as a program of its own: the shell, waiting on the lifeline, then stopping its group
// as Stop would (SIGTERM, and SIGKILL a second later). It is started with vfork, so nothing of
// this program's memory is copied for it: a forked guard shares every page copy-on-write for as
// long as its tool runs, and each page the program writes meanwhile is copied then, which a
// window writing a flood of log lines paid for on every page. It keeps every signal blocked
// (the mask of the spawn) but SIGKILL, as the forked guard does. -1 when no shell could start.
pid_t SpawnShellGuard() {
  const int lifeline = LifelineReadEnd();
  if (lifeline < 0) return -1;
  static_assert(ChildProcess::kStopGrace.count() == 1000, "the script's sleep is the grace");
  char shell[] = "/bin/sh";
  char option[] = "-c";
  char script[] = "read _; kill -TERM 0; sleep 1; kill -KILL 0";
  char* const argv[] = {shell, option, script, nullptr};
  char path[] = "PATH=/usr/bin:/bin";
  char* const environment[] = {path, nullptr};
  const pid_t guard = ::vfork();
  if (guard == 0) {
    // Only system calls here: the child runs in this program's memory until it execs.
    ::setpgid(0, 0);
    const int null = ::open("/dev/null", O_WRONLY);
    if (::dup2(lifeline, STDIN_FILENO) < 0 || null < 0 || ::dup2(null, STDOUT_FILENO) < 0 ||
        ::dup2(null, STDERR_FILENO) < 0) {
      ::_exit(127);
    }
    CloseDescriptorsFrom(3);
    ::execve(shell, argv, environment);
    ::_exit(127);
  }
  if (guard < 0) return -1;
  int status = 0;
  // The parent goes on once the child has exec'd or exited: an exec that failed left a zombie.
  if (WaitFor(guard, status, WNOHANG) != 0) return -1;
  return guard;
}

// True while a process of the group other than `guard` is alive. One that has ended and waits
// for its new parent to reap it (an init that reaps late) does not count. Without /proc: true.
bool GroupAlive(pid_t group, pid_t guard) {
  DIR* processes = ::opendir("/proc");
  if (processes == nullptr) return true;
  bool alive = false;
  while (const dirent* entry = ::readdir(processes)) {
    if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
    if (std::atoi(entry->d_name) == guard) continue;
    const std::string path = std::string("/proc/") + entry->d_name + "/stat";
    FILE* file = std::fopen(path.c_str(), "re");
    if (file == nullptr) continue;
    char stat[1024];
    const std::size_t length = std::fread(stat, 1, sizeof stat - 1, file);
    std::fclose(file);
    stat[length] = '\0';
    const char* afterName = std::strrchr(stat, ')');
    char state = 0;
    int parent = 0;
    int processGroup = 0;
    if (afterName && std::sscanf(afterName + 1, " %c %d %d", &state, &parent, &processGroup) == 3 &&
        processGroup == group && state != 'Z') {
      alive = true;
      break;
    }
  }
  ::closedir(processes);
  return alive;
}

// The errno a failed exec wrote, or 0 once the report pipe closes with nothing in it.
int ReadExecFailure(const UniqueFd& report) {
  int failure = 0;
  ssize_t got;
  do {
    got = ::read(report.get(), &failure, sizeof failure);
  } while (got < 0 && errno == EINTR);
  return got == static_cast<ssize_t>(sizeof failure) ? failure : 0;
}

}  // namespace

ChildProcess::~ChildProcess() {
  Kill();
  Reap();
  EndGuard();
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)), guard_(std::exchange(other.guard_, -1)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    Kill();
    Reap();
    EndGuard();
    pid_ = std::exchange(other.pid_, -1);
    guard_ = std::exchange(other.guard_, -1);
  }
  return *this;
}

int ChildProcess::Spawn(const std::vector<std::string>& arguments, int standardInput, int output,
                        const std::string& workingDirectory) {
  if (pid_ >= 0) return EBUSY;
  if (arguments.empty()) return ENOENT;
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  Pipe report;
  if (const int failure = MakePipe(report, PipeBlocking::kBothBlock); failure != 0) return failure;
  const pid_t parent = ::getpid();
  BlockAllSignals blocked;
  // The guard first, so that there is no moment when the child runs unguarded; a forked one
  // where no shell can be started.
  pid_t guard = SpawnShellGuard();
  if (guard < 0) guard = ::fork();
  if (guard == 0) GuardGroup(parent);
  if (guard < 0) return errno;
  ::setpgid(guard, guard);  // done here too, so the group exists before the child joins it
  const pid_t pid = ::fork();
  if (pid == 0) {
    ExecChild(argv.data(), standardInput, output, report.write.get(), parent, guard,
              workingDirectory.empty() ? nullptr : workingDirectory.c_str(),
              priority_ == ChildPriority::kLow);
  }
  int failure = pid < 0 ? errno : 0;
  report.write.reset();
  if (pid > 0) failure = ReadExecFailure(report.read);
  if (failure != 0) {
    int status = 0;
    if (pid > 0) WaitFor(pid, status, 0);
    ::kill(guard, SIGKILL);
    WaitFor(guard, status, 0);
    return failure;
  }
  pid_ = pid;
  guard_ = guard;
  return 0;
}

bool ChildProcess::TryReap(int& waitStatus) {
  if (pid_ < 0) return false;
  int status = 0;
  const pid_t reaped = WaitFor(pid_, status, WNOHANG);
  if (reaped == 0) return false;
  // ECHILD (someone else reaped it, e.g. SIGCHLD ignored) also means it has gone.
  waitStatus = reaped == pid_ ? status : -1;
  pid_ = -1;
  EndGuard();
  return true;
}

void ChildProcess::Kill() {
  // The guard leads the group until it is reaped, so the signal cannot reach another group.
  if (pid_ >= 0 && guard_ >= 0) ::kill(-guard_, SIGKILL);
  if (pid_ >= 0) ::kill(pid_, SIGKILL);
}

int ChildProcess::Reap() {
  if (pid_ < 0) return -1;
  int status = 0;
  const pid_t reaped = WaitFor(pid_, status, 0);
  pid_ = -1;
  EndGuard();
  return reaped > 0 ? status : -1;
}

int ChildProcess::Stop(std::chrono::milliseconds grace) {
  if (pid_ < 0) return -1;
  const pid_t tool = pid_;
  const auto deadline = Clock::now() + grace;
  // Once: FFmpeg ends at once, without finishing its file, after more than three signals.
  ::kill(guard_ >= 0 ? -guard_ : tool, SIGTERM);  // the guard blocks it
  int status = -1;
  bool reaped = false;
  bool ended = false;  // the child is reaped and nothing of its group is alive
  while (!ended && Clock::now() < deadline) {
    if (!reaped) {
      const pid_t got = WaitFor(tool, status, WNOHANG);
      reaped = got != 0;
      if (got < 0) status = -1;  // reaped elsewhere
    }
    ended = reaped && (guard_ < 0 || !GroupAlive(guard_, guard_));
    if (!ended) WaitMilliseconds(5);
  }
  // The guard, unreaped until EndGuard, keeps the group's id: the signal cannot go astray.
  if (!ended && guard_ >= 0) ::kill(-guard_, SIGKILL);
  if (!reaped) {
    ::kill(tool, SIGKILL);
    WaitFor(tool, status, 0);
  }
  pid_ = -1;
  EndGuard();
  return status;
}

void ChildProcess::EndGuard() {
  if (guard_ < 0) return;
  // What the tool left running in its group (a wrapper's child that outlived it) goes with the
  // guard: the group's id is the guard's until it is reaped, so the signal cannot go astray.
  ::kill(-guard_, SIGKILL);
  int status = 0;
  WaitFor(guard_, status, 0);
  guard_ = -1;
}

ChildEnd DescribeWaitStatus(int waitStatus) {
  ChildEnd end;
  end.exited = WIFEXITED(waitStatus);
  if (end.exited) end.exitCode = WEXITSTATUS(waitStatus);
  if (WIFSIGNALED(waitStatus)) end.signal = WTERMSIG(waitStatus);
  return end;
}

}  // namespace vexlo::platform
