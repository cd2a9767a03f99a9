#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "hosts/DialogHost.h"

namespace vexlo::hosts {

// The log pane: a queue that any thread may add lines to, a model of the pane's text, and a
// writer thread that moves the queued lines into the pane in batches a little less than once a
// second, or at once when a flood has queued kFlushSoonBytes. The pane itself lives on the window's
// thread: every change to it is posted there, in the order the model changed, so the pane always
// ends up showing exactly the model.
//
// In mode 1 a pane that grows past 40000 characters is appended to the monthly log file and
// starts empty again; at shutdown the lines still queued and the pane's unsaved text are appended
// too, so the file misses nothing. The file goes beside the trace file (the program's folder) or,
// when that cannot take it, to the state folder (LogFileCandidates). When neither can be written
// the pane keeps only its last 40000 characters and says once why.
//
// Two locks: the queue lock (append, drain) and the pane lock (the model's read-append-write and
// the file). A drain takes the queue lock inside the pane lock, so batches reach the pane and the
// file in the order they were queued; AddMessage takes only the queue lock and so never waits for
// the file.
class TraceControl {
 public:
  static constexpr std::size_t kPaneLimit = 40000;
  static constexpr int kSaveOnOverflow = 1;  // the mode this system uses
  static constexpr int kDefaultMaxLevel = 30;
  static constexpr std::chrono::milliseconds kDefaultTick{50};
  static constexpr int kTicksBetweenFlushes = 16;
  /// Echo text that is written at once, without waiting for the writer's tick.
  static constexpr std::size_t kEchoBatch = 64 * 1024;
  /// Queued text that makes the writer flush without waiting for its 16 ticks.
  static constexpr std::size_t kFlushSoonBytes = 256 * 1024;

  /// The pane is the multi-line edit `paneId` of `host`. `tick` is the writer's wait; the first
  /// flush comes after 17 ticks, the following ones every 16.
  TraceControl(hosts::DialogHost& host, int paneId,
               std::chrono::milliseconds tick = kDefaultTick);
  ~TraceControl();  // ShutdownTrace
  TraceControl(const TraceControl&) = delete;
  TraceControl& operator=(const TraceControl&) = delete;

  /// Sets the trace path to `directory`, '/', and `fileName` (the file name alone when the
  /// directory is empty), and starts the writer thread. Does nothing when already started.
  /// Window's thread.
  void StartTrace(const std::string& directory, const std::string& fileName, int mode);
  /// Whether a line starts with the local time.
  enum class Stamp { kNone, kTime };
  /// Queues "[timestamp ][level prefix]text". Dropped when not started, while stopping, or when
  /// `level` exceeds maxLevel. Any thread.
  void AddMessage(std::string_view text, Stamp stamp = Stamp::kNone, int level = kDefaultMaxLevel);
  /// Moves every queued line into the pane now. Any thread; never waits for the window's thread.
  void Flush();
  /// Stops taking lines, moves the queued ones into the pane and (mode 1) appends the pane's
  /// unsaved text to the monthly log file; then stops and joins the writer thread. Window's
  /// thread; does nothing when not started.
  void ShutdownTrace();

  /// Lines of a higher level are dropped.
  std::atomic<int> maxLevel{kDefaultMaxLevel};

  /// Every line queued from now on is also written to `fd`, as the pane will show it (its CR LF
  /// as LF); -1 stops it. Automatic mode echoes the log to standard error, so that a caller
  /// without a display reads what the pane says. The lines go out together within a tick of being
  /// queued (at once when kEchoBatch bytes are waiting), and all of them by a flush or shutdown.
  /// Echoing stops by itself when a write fails (a closed pipe).
  void EchoTo(int fd) { echoFd_.store(fd); }

  /// The pane's text as the model holds it (what the pane shows once posted tasks have run).
  std::string paneText() const;
  std::string tracePath() const;
  /// The monthly log file for the current month, beside the trace file.
  std::string datedLogPath() const;
  /// The file the pane was last appended to; empty until a save succeeded.
  std::string savedLogPath() const;
  bool started() const { return started_.load(); }

 private:
  void startWriter();
  void stopWriter();
  void writerLoop();
  /// Waits one tick; true when the writer was asked to stop.
  bool waitTick();
  /// Appends the model and then `batch` to the monthly file (the first of LogFileCandidates that
  /// takes it) and empties the model. When no file takes it, adds the batch to the model, keeps
  /// its last kPaneLimit characters and, the first time, adds a line that says why. True when
  /// saved. Called with the pane lock held.
  bool savePane(const std::string& tracePath, std::string_view batch);
  /// Adds one queued line to the text for the echo descriptor, if there is one.
  void echo(std::string_view head, std::string_view text);
  /// Writes the echo text that waits (writeEchoLocked: with the echo lock held).
  void writeEcho();
  void writeEchoLocked();

  hosts::DialogHost& host_;
  const int paneId_;
  const std::chrono::milliseconds tick_;

  mutable std::mutex queueMutex_;       // the queue lock: queue_, tracePath_ (inside the pane lock)
  std::string queue_;                   // the queued lines, one after the other
  std::atomic<bool> flushSoon_{false};  // kFlushSoonBytes are queued: the writer flushes now
  std::string tracePath_;

  mutable std::mutex paneMutex_;  // the pane lock: paneText_, savedLogPath_, the log file
  std::string paneText_;
  std::string batch_;  // the batch being moved into the pane; it and queue_ take turns
  std::string savedLogPath_;
  bool unwritableReported_ = false;

  std::mutex echoMutex_;  // keeps echoed lines whole and in order between threads; held alone
  std::string echoed_;    // lines waiting for the echo descriptor
  std::atomic<int> echoFd_{-1};

  std::atomic<int> mode_{0};
  std::atomic<bool> started_{false};
  std::atomic<bool> stop_{false};

  std::mutex wakeMutex_;  // pairs with wake_ for the writer's waits; held alone
  std::condition_variable wake_;
  std::thread writer_;
};

}  // namespace vexlo::hosts
