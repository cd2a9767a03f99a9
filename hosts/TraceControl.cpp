#include "hosts/TraceControl.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/FileDescriptor.h"
#include "platform/FileOperations.h"
#include "platform/Paths.h"
#include "hosts/TraceFormat.h"

namespace vexlo::hosts {

namespace {

constexpr std::string_view kWriterStartLine = "Trace process started.\r\n";

// Where a kept tail of the pane starts: kPaneLimit characters from its end, moved on to the
// start of the next line when one begins within them.
std::size_t TailStart(const std::string& text, std::size_t limit) {
  if (text.size() <= limit) return 0;
  const std::size_t cut = text.size() - limit;
  const std::size_t lineEnd = text.find('\n', cut - 1);
  return lineEnd != std::string::npos && lineEnd + 1 < text.size() ? lineEnd + 1 : cut;
}

}  // namespace

TraceControl::TraceControl(hosts::DialogHost& host, int paneId, std::chrono::milliseconds tick)
    : host_(host), paneId_(paneId), tick_(tick) {
  const std::string directory = platform::CurrentDirectory();
  tracePath_ = directory.empty() ? std::string("TraceFile.log")
                                 : directory + platform::kPathSeparator + "TraceFile.log";
}

TraceControl::~TraceControl() {
  ShutdownTrace();
  stopWriter();
}

void TraceControl::StartTrace(const std::string& directory, const std::string& fileName, int mode) {
  {
    std::lock_guard lock(queueMutex_);
    if (started_.load()) return;
    tracePath_ = directory.empty() ? fileName : directory + platform::kPathSeparator + fileName;
    mode_.store(mode);
    started_.store(true);
  }
  host_.setWaitCursor(true);
  startWriter();
  host_.setWaitCursor(false);
}

void TraceControl::AddMessage(std::string_view text, Stamp stamp, int level) {
  if (!started_.load() || stop_.load() || level > maxLevel.load()) return;
  // The line goes straight into the queue's text: no allocation per line.
  std::string head;  // short: kept inside the string object
  if (stamp == Stamp::kTime) head = FormatTimestamp(std::time(nullptr));
  head += FormatLevelPrefix(level);
  if (echoFd_.load() >= 0) echo(head, text);
  std::lock_guard lock(queueMutex_);
  // Checked again under the lock: a line must not slip in after ShutdownTrace emptied the queue.
  if (!started_.load()) return;
  queue_.append(head).append(text);
  // A flood of lines goes to the pane in parts of about this size, not in one huge batch.
  if (queue_.size() >= kFlushSoonBytes && !flushSoon_.exchange(true)) wake_.notify_all();
}

void TraceControl::echo(std::string_view head, std::string_view text) {
  std::lock_guard lock(echoMutex_);
  if (echoFd_.load() < 0) return;
  echoed_ += head;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t crlf = text.find("\r\n", at);
    if (crlf == std::string_view::npos) {
      echoed_ += text.substr(at);
      break;
    }
    echoed_ += text.substr(at, crlf - at);
    at = crlf + 1;  // the LF stays
  }
  if (echoed_.size() >= kEchoBatch) writeEchoLocked();
}

void TraceControl::writeEcho() {
  std::lock_guard lock(echoMutex_);
  writeEchoLocked();
}

void TraceControl::writeEchoLocked() {
  const int fd = echoFd_.load();
  if (fd >= 0 && !echoed_.empty() && platform::WriteAll(fd, echoed_) != 0) echoFd_.store(-1);
  echoed_.clear();
}

void TraceControl::Flush() {
  if (!started_.load() || stop_.load()) return;
  writeEcho();
  std::lock_guard paneLock(paneMutex_);
  std::string tracePath;
  {
    std::lock_guard lock(queueMutex_);
    if (queue_.empty()) return;  // also once ShutdownTrace has taken the queue
    // The two buffers take turns, each keeping its room: no new memory for every batch.
    batch_.swap(queue_);
    tracePath = tracePath_;
  }
  // Posting under the pane lock keeps the posts in the order of the model's changes. A batch
  // that is saved at once is not shown first: the window only needs the end state.
  if (mode_.load() == kSaveOnOverflow && paneText_.size() + batch_.size() > kPaneLimit) {
    std::string shown = savePane(tracePath, batch_) ? std::string() : paneText_;
    host_.post(
        [&host = host_, pane = paneId_, shown = std::move(shown)] { host.setText(pane, shown); });
  } else {
    paneText_ += batch_;
    host_.post([&host = host_, pane = paneId_, batch = batch_] { host.appendText(pane, batch); });
  }
  batch_.clear();
}

void TraceControl::ShutdownTrace() {
  {
    std::lock_guard paneLock(paneMutex_);
    std::string lines;  // not batch_: its room is not needed any more
    std::string tracePath;
    {
      std::lock_guard lock(queueMutex_);
      if (!started_.exchange(false)) return;
      lines.swap(queue_);
      tracePath = tracePath_;
    }
    writeEcho();
    // The window is going: what it showed and what was still on its way to it go to the file.
    // The pane itself is not updated any more.
    if (mode_.load() == kSaveOnOverflow && (!paneText_.empty() || !lines.empty())) {
      savePane(tracePath, lines);
    } else {
      paneText_ += lines;
    }
  }
  stopWriter();
}

std::string TraceControl::paneText() const {
  std::lock_guard lock(paneMutex_);
  return paneText_;
}

std::string TraceControl::tracePath() const {
  std::lock_guard lock(queueMutex_);
  return tracePath_;
}

std::string TraceControl::datedLogPath() const {
  return DatedLogPathAt(tracePath(), std::time(nullptr));
}

void TraceControl::startWriter() {
  if (writer_.joinable()) return;
  {
    std::lock_guard lock(wakeMutex_);
    stop_.store(false);
  }
  writer_ = std::thread([this] { writerLoop(); });
}

void TraceControl::stopWriter() {
  if (!writer_.joinable()) return;
  {
    std::lock_guard lock(wakeMutex_);
    stop_.store(true);
  }
  wake_.notify_all();
  writer_.join();
}

void TraceControl::writerLoop() {
  AddMessage(kWriterStartLine, Stamp::kTime);
  if (waitTick()) return;
  for (int ticks = 0;; ++ticks) {
    if (stop_.load()) return;
    writeEcho();
    if (ticks >= kTicksBetweenFlushes || flushSoon_.exchange(false)) {
      Flush();
      ticks = 0;
    }
    if (waitTick()) return;
  }
}

bool TraceControl::waitTick() {
  std::unique_lock lock(wakeMutex_);
  wake_.wait_for(lock, tick_, [this] { return stop_.load() || flushSoon_.load(); });
  return stop_.load();
}

std::string TraceControl::savedLogPath() const {
  std::lock_guard lock(paneMutex_);
  return savedLogPath_;
}

bool TraceControl::savePane(const std::string& tracePath, std::string_view batch) {
  std::string why;
  const auto candidates = LogFileCandidates(tracePath, std::time(nullptr));
  for (const std::string& path : candidates) {
    const auto slash = path.rfind(platform::kPathSeparator);
    if (&path != &candidates.front() && slash != std::string::npos && slash > 0) {
      // The state folder is made when needed (never the program's folder). One that cannot be
      // made shows as the file's own error.
      std::error_code ignored;
      std::filesystem::create_directories(path.substr(0, slash), ignored);
    }
    const int error = platform::AppendWhole(path, paneText_, batch);
    if (error == 0) {
      savedLogPath_ = path;
      paneText_.clear();
      return true;
    }
    why += (why.empty() ? "" : "; ") + path + ": " + std::generic_category().message(error);
  }
  paneText_ += batch;
  if (!unwritableReported_) {
    unwritableReported_ = true;
    paneText_ += FormatLevelPrefix(kDefaultMaxLevel) + "##### ERROR: Log file not written (" + why +
                 "); the pane keeps its last " + std::to_string(kPaneLimit) +
                 " characters  ######\r\n";
  }
  paneText_.erase(0, TailStart(paneText_, kPaneLimit));
  return false;
}

}  // namespace vexlo::hosts
