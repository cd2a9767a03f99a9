#include "analysis/IndexFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vexlo::analysis {

namespace {

// Writes every byte at the descriptor's position, across partial writes and interruptions.
bool WriteAll(int fd, const char* data, std::size_t length) {
  while (length > 0) {
    const ssize_t written = ::write(fd, data, length);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    length -= static_cast<std::size_t>(written);
  }
  return true;
}

// Writes every byte at a fixed offset without moving the descriptor's position.
bool WriteAllAt(int fd, const char* data, std::size_t length, off_t offset) {
  while (length > 0) {
    const ssize_t written = ::pwrite(fd, data, length, offset);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    length -= static_cast<std::size_t>(written);
    offset += written;
  }
  return true;
}

}  // namespace

IndexFile::~IndexFile() {
  Release();
}

int IndexFile::Open(const std::string& path) {
  Release();
  header_ = IndexHeader{};
  error_ = 0;
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    fail(errno);
    return -1;
  }
  writeFailed_ = false;
  buffer_.clear();
  buffer_.reserve(kBufferSize + sizeof(FrameRecord));
  const IndexHeader zero{};
  if (!WriteAll(fd_, reinterpret_cast<const char*>(&zero), sizeof zero)) {
    fail(errno);
    writeFailed_ = true;
    close();
    return -1;
  }
  return 0;
}

int IndexFile::WriteRecord(const FrameRecord& record) {
  if (!isOpen()) return -1;
  buffer_.append(reinterpret_cast<const char*>(&record), sizeof record);
  if (buffer_.size() >= kBufferSize && !flush()) return -1;
  return writeFailed_ ? -1 : 0;
}

int IndexFile::Finish(const IndexHeader* header) {
  if (!isOpen() || header == nullptr) return -1;
  header_ = *header;
  bool ok = flush();
  if (!WriteAllAt(fd_, reinterpret_cast<const char*>(&header_), sizeof header_, 0)) {
    fail(errno);
    ok = false;
  }
  if (::close(fd_) != 0) {
    fail(errno);
    ok = false;
  }
  fd_ = -1;
  buffer_.clear();
  return ok && !writeFailed_ ? 0 : -1;
}

void IndexFile::fail(int error) {
  if (error_ == 0) error_ = error != 0 ? error : EIO;
}

void IndexFile::Release() {
  if (isOpen()) close();
}

// After a failed write the records that follow are dropped: the file would have a hole.
bool IndexFile::flush() {
  if (!writeFailed_ && !buffer_.empty() && !WriteAll(fd_, buffer_.data(), buffer_.size())) {
    fail(errno);
    writeFailed_ = true;
  }
  buffer_.clear();
  return !writeFailed_;
}

// The records appended so far reach the file even without a header.
void IndexFile::close() {
  flush();
  ::close(fd_);
  fd_ = -1;
  buffer_.clear();
}

}  // namespace vexlo::analysis
