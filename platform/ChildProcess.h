#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace vexlo::platform {

/// One child process, owned by this object from its spawn until it has been reaped. The
/// destructor kills and reaps a child that is still unreaped, so no zombie is ever left behind.
/// Move-only.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  /// Starts the program `arguments[0]` (a full path: no search of PATH, never through a shell)
  /// with these arguments, the parent's environment and current directory; its standard input
  /// reads `standardInput`, its standard output and standard error both write `output`. The
  /// child starts with no signal blocked and every signal at its default action. Returns 0, or
  /// the errno that says why the program could not be started (ENOENT, EACCES, ENOEXEC, ...).
  int Spawn(const std::vector<std::string>& arguments, int standardInput, int output);

  /// The child's process id while it is unreaped; -1 otherwise.
  pid_t pid() const { return pid_; }

  /// Reaps the child if it has ended, without waiting: true then, with its wait status.
  bool TryReap(int& waitStatus);
  /// Sends SIGKILL to an unreaped child.
  void Kill();
  /// Waits for the child to end and reaps it. Its wait status, or -1 when there is no child.
  int Reap();

 private:
  pid_t pid_ = -1;
};

}  // namespace vexlo::platform
