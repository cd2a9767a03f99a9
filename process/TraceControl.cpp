#include "process/TraceControl.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <utility>

#include "platform/Paths.h"
#include "process/TraceFormat.h"

namespace vexlo::process {

namespace {

constexpr std::string_view kWriterStartLine = "Trace process started.\r\n";

std::string JoinLines(const std::vector<std::string>& lines) {
  std::size_t size = 0;
  for (const auto& line : lines) size += line.size();
  std::string batch;
  batch.reserve(size);
  for (const auto& line : lines) batch += line;
  return batch;
}

// Appends the bytes to the file in one go. A write that fails half-way is cut back off the file,
// so that the retry at the next flush does not repeat a part of the text.
bool AppendToFile(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (file == nullptr) return false;
  bool written = std::fseek(file, 0, SEEK_END) == 0;
  const long start = written ? std::ftell(file) : -1;
  written = written && start >= 0 &&
            std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() &&
            std::fflush(file) == 0;
  if (!written && start >= 0) {
    // Best effort: the write already failed, so a failing cut leaves nothing better to do.
    [[maybe_unused]] const int cut = ftruncate(fileno(file), static_cast<off_t>(start));
  }
  const bool closed = std::fclose(file) == 0;
  return written && closed;
}

}  // namespace

TraceControl::TraceControl(platform::DialogHost& host, int paneId, std::chrono::milliseconds tick)
    : host_(host), paneId_(paneId), tick_(tick) {
  const std::string directory = platform::CurrentDirectory();
  tracePath_ = directory.empty() ? std::string("TraceFile.log")
                                 : directory + platform::kPathSeparator + "TraceFile.log";
}

TraceControl::~TraceControl() {
  ShutdownTrace();
  stopWriter();
}

void TraceControl::StartTrace(const std::string& fileName, int mode) {
  {
    std::lock_guard lock(queueMutex_);
    if (started_.load()) return;
    const std::string directory = platform::CurrentDirectory();
    tracePath_ = directory.empty() ? fileName : directory + platform::kPathSeparator + fileName;
    mode_.store(mode);
    started_.store(true);
  }
  host_.setWaitCursor(true);
  startWriter();
  host_.setWaitCursor(false);
}

void TraceControl::AddMessage(std::string_view text, int timestampFlag, int level) {
  if (!started_.load() || stop_.load() || level > maxLevel.load()) return;
  std::string line;
  if (timestampFlag == 1) line = FormatTimestamp(std::time(nullptr));
  line += FormatLevelPrefix(level);
  line += text;
  if (echoFd_.load() >= 0) echo(line);
  std::lock_guard lock(queueMutex_);
  // Checked again under the lock: a line must not slip in after ShutdownTrace emptied the queue.
  if (started_.load()) queue_.push_back(std::move(line));
}

void TraceControl::echo(std::string_view line) {
  std::string text;
  text.reserve(line.size());
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\r' && i + 1 < line.size() && line[i + 1] == '\n') continue;
    text += line[i];
  }
  std::lock_guard lock(echoMutex_);
  const int fd = echoFd_.load();
  std::size_t done = 0;
  while (fd >= 0 && done < text.size()) {
    const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      echoFd_.store(-1);
      return;
    }
    done += static_cast<std::size_t>(written);
  }
}

void TraceControl::Flush() {
  if (!started_.load() || stop_.load()) return;
  std::vector<std::string> lines;
  std::string tracePath;
  {
    std::lock_guard lock(queueMutex_);
    if (queue_.empty()) return;
    lines.swap(queue_);
    tracePath = tracePath_;
  }
  std::string batch = JoinLines(lines);

  std::lock_guard lock(paneMutex_);
  paneText_ += batch;
  // Posting under the pane lock keeps the posts in the order of the model's changes. A batch
  // that is saved at once is not shown first: the window only needs the end state.
  if (mode_.load() == kSaveOnOverflow && paneText_.size() > kPaneLimit && savePane(tracePath)) {
    host_.post([&host = host_, pane = paneId_] { host.setText(pane, ""); });
  } else {
    host_.post([&host = host_, pane = paneId_, batch = std::move(batch)] {
      host.appendText(pane, batch);
    });
  }
}

void TraceControl::ShutdownTrace() {
  {
    std::lock_guard lock(queueMutex_);
    if (!started_.exchange(false)) return;
    queue_.clear();
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
  AddMessage(kWriterStartLine, 1, kDefaultMaxLevel);
  if (waitTick()) return;
  for (int ticks = 0;; ++ticks) {
    if (stop_.load()) return;
    if (ticks >= kTicksBetweenFlushes) {
      Flush();
      ticks = 0;
    }
    if (waitTick()) return;
  }
}

bool TraceControl::waitTick() {
  std::unique_lock lock(wakeMutex_);
  return wake_.wait_for(lock, tick_, [this] { return stop_.load(); });
}

bool TraceControl::savePane(const std::string& tracePath) {
  if (!AppendToFile(DatedLogPathAt(tracePath, std::time(nullptr)), paneText_)) return false;
  paneText_.clear();
  paneText_.shrink_to_fit();
  return true;
}

}  // namespace vexlo::process
