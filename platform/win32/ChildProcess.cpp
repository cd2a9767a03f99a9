#include "platform/ChildProcess.h"

#include <io.h>
#include <windows.h>

#include <cerrno>
#include <csignal>
#include <mutex>
#include <utility>

// Child processes on Windows: CreateProcess with no window, the standard handles given through
// STARTUPINFOEX and inherited by the child alone, the tool and whatever it starts in one job
// object that ends them all when this program dies (its last handle closes), TerminateJobObject
// to stop them.

namespace vexlo::platform {

namespace {

// The exit code a stopped tool gets: the one Windows gives a console program ended by Ctrl+C.
constexpr DWORD kStoppedExitCode = 0xC000013A;

// Inheritable handles exist only while a spawn holds this lock, so that no other spawn can pass
// them to its own child, even where the handle list of STARTUPINFOEX is not honoured.
std::mutex spawnLock;

int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_DIRECTORY:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
      return EACCES;
    case ERROR_BAD_EXE_FORMAT:
    case ERROR_EXE_MACHINE_TYPE_MISMATCH:
    case ERROR_BAD_FORMAT:
      return ENOEXEC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    default:
      return EINVAL;
  }
}

// One argument as the C run-time of the started program splits it back: quoted when it holds a
// blank or is empty, with the backslashes before a quote (or before the closing quote) doubled.
void AppendArgument(std::string& line, const std::string& argument) {
  if (!line.empty()) line += ' ';
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) {
    line += argument;
    return;
  }
  line += '"';
  std::size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, '\\');
  line += '"';
}

HANDLE InheritableCopy(int fd) {
  HANDLE original = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  HANDLE copy = nullptr;
  if (original == INVALID_HANDLE_VALUE ||
      !::DuplicateHandle(::GetCurrentProcess(), original, ::GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  return copy;
}

bool IsDirectory(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

HANDLE MakeJob() {
  HANDLE job = ::CreateJobObjectA(nullptr, nullptr);
  if (job == nullptr) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  ::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  return job;
}

}  // namespace

ChildProcess::~ChildProcess() {
  Kill();
  Reap();
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : process_(std::exchange(other.process_, nullptr)),
      job_(std::exchange(other.job_, nullptr)),
      pid_(std::exchange(other.pid_, -1)),
      stopped_(std::exchange(other.stopped_, false)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    Kill();
    Reap();
    process_ = std::exchange(other.process_, nullptr);
    job_ = std::exchange(other.job_, nullptr);
    pid_ = std::exchange(other.pid_, -1);
    stopped_ = std::exchange(other.stopped_, false);
  }
  return *this;
}

int ChildProcess::Spawn(const std::vector<std::string>& arguments, int standardInput, int output,
                        const std::string& workingDirectory) {
  if (process_ != nullptr) return EBUSY;
  if (arguments.empty() || arguments.front().empty()) return ENOENT;
  if (IsDirectory(arguments.front())) return EACCES;
  std::string commandLine;
  for (const std::string& argument : arguments) AppendArgument(commandLine, argument);
  HANDLE job = MakeJob();
  if (job == nullptr) return ErrnoOf(::GetLastError());

  std::lock_guard lock(spawnLock);
  HANDLE inherited[2] = {InheritableCopy(standardInput), InheritableCopy(output)};
  const auto closeInherited = [&inherited] {
    for (HANDLE handle : inherited) {
      if (handle != nullptr) ::CloseHandle(handle);
    }
  };
  if (inherited[0] == nullptr || inherited[1] == nullptr) {
    closeInherited();
    ::CloseHandle(job);
    return EMFILE;
  }
  STARTUPINFOEXA startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = inherited[0];
  startup.StartupInfo.hStdOutput = inherited[1];
  startup.StartupInfo.hStdError = inherited[1];
  // Only these two handles go to the child.
  SIZE_T listSize = 0;
  ::InitializeProcThreadAttributeList(nullptr, 1, 0, &listSize);
  std::string listMemory(listSize, '\0');
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listMemory.data());
  DWORD flags = CREATE_NO_WINDOW | CREATE_SUSPENDED;
  if (priority_ == ChildPriority::kLow) flags |= BELOW_NORMAL_PRIORITY_CLASS;
  if (listSize > 0 && ::InitializeProcThreadAttributeList(list, 1, 0, &listSize) &&
      ::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                  sizeof inherited, nullptr, nullptr)) {
    startup.lpAttributeList = list;
    flags |= EXTENDED_STARTUPINFO_PRESENT;
  }
  // A directory that cannot be entered leaves the tool where the program itself runs.
  const char* directory = !workingDirectory.empty() && IsDirectory(workingDirectory)
                              ? workingDirectory.c_str()
                              : nullptr;
  PROCESS_INFORMATION started{};
  BOOL created = ::CreateProcessA(arguments.front().c_str(), commandLine.data(), nullptr, nullptr,
                                  TRUE, flags, nullptr, directory, &startup.StartupInfo, &started);
  const DWORD failure = created ? 0 : ::GetLastError();
  if (startup.lpAttributeList != nullptr) ::DeleteProcThreadAttributeList(list);
  closeInherited();
  if (!created) {
    ::CloseHandle(job);
    return ErrnoOf(failure);
  }
  // Into the job before it runs a single instruction, so that all it starts belongs to it too.
  // A job that could not take it would end nothing, and a stop would then wait for a tool that
  // still runs: without the job, a stop ends the tool itself.
  if (!::AssignProcessToJobObject(job, started.hProcess)) {
    ::CloseHandle(job);
    job = nullptr;
  }
  ::ResumeThread(started.hThread);
  ::CloseHandle(started.hThread);
  process_ = started.hProcess;
  job_ = job;
  pid_ = static_cast<pid_t>(started.dwProcessId);
  return 0;
}

bool ChildProcess::TryReap(int& waitStatus) {
  if (process_ == nullptr) return false;
  if (::WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) return false;
  waitStatus = Reap();
  return true;
}

void ChildProcess::TerminateAll() {
  if (process_ == nullptr) return;
  stopped_ = true;
  if (job_ == nullptr || !::TerminateJobObject(job_, kStoppedExitCode)) {
    ::TerminateProcess(process_, kStoppedExitCode);
  }
}

void ChildProcess::Kill() {
  TerminateAll();
}

int ChildProcess::Reap() {
  if (process_ == nullptr) return -1;
  ::WaitForSingleObject(process_, INFINITE);
  DWORD code = 0;
  const int status = ::GetExitCodeProcess(process_, &code) ? static_cast<int>(code) : -1;
  ::CloseHandle(process_);
  process_ = nullptr;
  pid_ = -1;
  // What the tool started lives on when the tool ended by itself, as on POSIX: the job handle
  // is then let go without killing them. A stopped job keeps its kill-on-close limit, so that a
  // process started while it was being ended goes with it.
  if (job_ != nullptr) {
    if (!stopped_) {
      JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
      ::SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    ::CloseHandle(job_);
    job_ = nullptr;
  }
  stopped_ = false;
  return status;
}

int ChildProcess::Stop(std::chrono::milliseconds) {
  // Windows gives a console program that has no console of this program's no gentle way to end:
  // the tool and everything it started are ended at once.
  if (process_ == nullptr) return -1;
  TerminateAll();
  return Reap();
}

ChildEnd DescribeWaitStatus(int waitStatus) {
  ChildEnd end;
  if (static_cast<DWORD>(waitStatus) == kStoppedExitCode) {
    end.signal = SIGTERM;
  } else {
    end.exited = true;
    end.exitCode = waitStatus;
  }
  return end;
}

}  // namespace vexlo::platform
