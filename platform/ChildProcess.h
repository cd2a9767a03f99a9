#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// Child processes: their spawn with a pipe for their output, their stop and their reaping.

namespace vexlo::platform {

/// The scheduling priority a child starts with: the program's own, or below it (nice 10 on
/// POSIX systems, BELOW_NORMAL_PRIORITY_CLASS on Windows) to keep the machine usable.
enum class ChildPriority { kNormal, kLow };

/// One child process, owned by this object from its spawn until it has been reaped. The
/// destructor kills and reaps a child that is still unreaped, so no zombie is ever left behind.
/// Move-only.
///
/// The child runs in a process group of its own, so that whatever it starts (a tool that is a
/// wrapper script and its real encoder) is stopped with it, and whatever of the group outlives
/// the child is killed when it is reaped. The group is led by a small guard process, started
/// before the child, that stops the whole group (SIGTERM, then SIGKILL after kStopGrace) when
/// this program dies, however it dies. The guard is the shell (vfork and exec, so none of this
/// program's memory is copied for it) reading a pipe whose other end only this program holds,
/// and which the kernel closes when it dies; where no shell starts, a forked copy of this
/// program that its parent-death signal wakes. The child itself gets no parent-death signal:
/// the kernel sends it again for every thread of the dying program, and FFmpeg ends without
/// finishing its file after four SIGTERMs.
///
/// On Windows (platform/win32/) a job object plays the group's and the guard's part: the tool
/// and what it starts belong to it, Stop ends them all at once (TerminateJobObject), and the
/// system ends them when this program dies (kill on close).
class ChildProcess {
 public:
  /// How long a stopped group may take to end by itself before it is killed.
  static constexpr std::chrono::milliseconds kStopGrace{1000};

  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  /// Starts the program `arguments[0]` (a full path: no search of PATH, never through a shell)
  /// with these arguments and the parent's environment, in `workingDirectory` (the parent's
  /// current directory when empty or when it cannot be entered); its standard input
  /// reads `standardInput`, its standard output and standard error both write `output` (both
  /// descriptors above 2). The child starts with no signal blocked and every signal at its
  /// default action. Returns 0, or the errno that says why the program could not be started
  /// (ENOENT, EACCES, ENOEXEC, ...): an exec that fails is reported here, not as an exit status.
  int Spawn(const std::vector<std::string>& arguments, int standardInput, int output,
            const std::string& workingDirectory = {});
  /// The priority of the next Spawn's child; a priority that cannot be set leaves it normal.
  void SetPriority(ChildPriority priority) { priority_ = priority; }

  /// The child's process id while it is unreaped; -1 otherwise.
  pid_t pid() const { return pid_; }

  /// Reaps the child if it has ended, without waiting: true then, with its wait status. What
  /// the child started is left alone.
  bool TryReap(int& waitStatus);
  /// Sends SIGKILL to the child's process group while the child is unreaped.
  void Kill();
  /// Waits for the child to end and reaps it. Its wait status, or -1 when there is no child.
  int Reap();
  /// Stops the child's whole process group: SIGTERM, then SIGKILL for whatever of it is still
  /// there after `grace`; reaps the child. Its wait status, or -1 when there is no child.
  int Stop(std::chrono::milliseconds grace = kStopGrace);

 private:
  void EndGuard();

  ChildPriority priority_ = ChildPriority::kNormal;

#ifdef _WIN32
  void* process_ = nullptr;  // the process handle; null once reaped
  void* job_ = nullptr;      // the job object the tool and whatever it starts belong to
  pid_t pid_ = -1;
  // Ends the job (the tool and what it started) with the exit code of a stopped tool.
  void TerminateAll();
  bool stopped_ = false;  // the job was ended: closing it ends whatever joined it late
#else
  pid_t pid_ = -1;
  pid_t guard_ = -1;
#endif
};

/// How a reaped child ended, read from its wait status (not -1).
struct ChildEnd {
  bool exited = false;  // it ended by itself, with `exitCode`
  int exitCode = 0;
  int signal = 0;  // the signal that ended it (on Windows, SIGTERM for a tool that was stopped)
};
ChildEnd DescribeWaitStatus(int waitStatus);

}  // namespace vexlo::platform
