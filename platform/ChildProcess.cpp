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
#include <cstring>
#include <utility>

#include "platform/FileDescriptor.h"

extern char** environ;

namespace vexlo::platform {

namespace {

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

// The child's side of the spawn: a group of its own, SIGTERM when its parent dies, default
// signal actions, the standard streams, exec. A failed exec writes its errno to `report`.
[[noreturn]] void ExecChild(char* const* argv, int standardInput, int output, int report,
                            pid_t parent) {
  ::setpgid(0, 0);
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (::getppid() != parent) ::_exit(127);  // the program died during the spawn
  struct sigaction standard {};
  standard.sa_handler = SIG_DFL;
  for (int signal = 1; signal < NSIG; ++signal) ::sigaction(signal, &standard, nullptr);
  int failure = 0;
  if (::dup2(standardInput, STDIN_FILENO) < 0 || ::dup2(output, STDOUT_FILENO) < 0 ||
      ::dup2(output, STDERR_FILENO) < 0) {
    failure = errno;
  } else {
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execve(argv[0], argv, environ);
    failure = errno;
  }
  [[maybe_unused]] const auto written = ::write(report, &failure, sizeof failure);
  ::_exit(127);
}

void OnGuardSignal(int) {}

// The guard: it holds nothing open and ignores every signal but SIGKILL and the one the kernel
// sends when its parent dies; then it stops the tool's group as Stop would.
[[noreturn]] void GuardGroup(pid_t parent, pid_t group) {
  CloseDescriptorsFrom(0);
  struct sigaction wake {};
  wake.sa_handler = OnGuardSignal;
  ::sigaction(SIGUSR1, &wake, nullptr);
  ::prctl(PR_SET_PDEATHSIG, SIGUSR1);
  sigset_t waiting;
  sigfillset(&waiting);
  sigdelset(&waiting, SIGUSR1);
  while (::getppid() == parent) ::sigsuspend(&waiting);
  ::kill(-group, SIGTERM);
  constexpr int kStepMs = 10;
  for (int waited = 0; waited < ChildProcess::kStopGrace.count() && ::kill(-group, 0) == 0;
       waited += kStepMs) {
    WaitMilliseconds(kStepMs);
  }
  ::kill(-group, SIGKILL);
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

// True while a process of the group is alive. One that has ended and waits for its new parent to
// reap it (an init that reaps late) does not count; where /proc cannot tell, kill() decides.
bool GroupAlive(pid_t group) {
  if (::kill(-group, 0) != 0) return false;
  DIR* processes = ::opendir("/proc");
  if (processes == nullptr) return true;
  bool alive = false;
  while (const dirent* entry = ::readdir(processes)) {
    if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
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

int ChildProcess::Spawn(const std::vector<std::string>& arguments, int standardInput, int output) {
  if (pid_ >= 0) return EBUSY;
  if (arguments.empty()) return ENOENT;
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  Pipe report;
  if (const int failure = MakePipe(report, PipeBlocking::kBothBlock); failure != 0) return failure;
  const pid_t parent = ::getpid();
  pid_t pid;
  pid_t guard = -1;
  {
    BlockAllSignals blocked;
    pid = ::fork();
    if (pid == 0) ExecChild(argv.data(), standardInput, output, report.write.get(), parent);
    if (pid < 0) return errno;
    report.write.reset();
    if (const int failure = ReadExecFailure(report.read); failure != 0) {
      int status = 0;
      WaitFor(pid, status, 0);
      return failure;
    }
    // Without a guard the child still gets SIGTERM when this program dies; only what it
    // started could then outlive it.
    guard = ::fork();
    if (guard == 0) GuardGroup(parent, pid);
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
  // An unreaped child keeps its pid, and with it its group's id, so the signal cannot reach
  // another process's group.
  if (pid_ >= 0) ::kill(-pid_, SIGKILL);
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
  const pid_t group = pid_;
  const auto deadline = Clock::now() + grace;
  ::kill(-group, SIGTERM);
  int status = -1;
  bool reaped = false;
  bool ended = false;  // the child is reaped and nothing of its group is alive
  while (!ended && Clock::now() < deadline) {
    if (!reaped) {
      const pid_t got = WaitFor(group, status, WNOHANG);
      reaped = got != 0;
      if (got < 0) status = -1;  // reaped elsewhere
    }
    ended = reaped && !GroupAlive(group);
    if (!ended) WaitMilliseconds(5);
  }
  // The group's id stays reserved while a process of the group is left, so this signal cannot
  // reach another program's group.
  if (!ended) ::kill(-group, SIGKILL);
  if (!reaped) WaitFor(group, status, 0);
  pid_ = -1;
  EndGuard();
  return status;
}

void ChildProcess::EndGuard() {
  if (guard_ < 0) return;
  ::kill(guard_, SIGKILL);
  int status = 0;
  WaitFor(guard_, status, 0);
  guard_ = -1;
}

}  // namespace vexlo::platform
