#include "analysis/IndexFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/FileDescriptor.h"

namespace vexlo::analysis {

namespace {

// Writes every byte at a fixed offset without moving the descriptor's position. 0, or the errno
// of the write that failed.
int WriteAllAt(int fd, const char* data, std::size_t length, off_t offset) {
  while (length > 0) {
    const ssize_t written = ::pwrite(fd, data, length, offset);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return errno;
    if (written == 0) return EIO;
    data += written;
    length -= static_cast<std::size_t>(written);
    offset += written;
  }
  return 0;
}

std::string_view BytesOf(const IndexHeader& header) {
  return {reinterpret_cast<const char*>(&header), sizeof header};
}

}  // namespace

IndexFile::~IndexFile() {
  Release();
}

int IndexFile::Open(const std::string& path) {
  Release();
  header_ = IndexHeader{};
  error_ = 0;
  fd_.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (!fd_.valid()) {
    fail(errno);
    return -1;
  }
  writeFailed_ = false;
  buffer_.clear();
  buffer_.reserve(kBufferSize + sizeof(FrameRecord));
  const IndexHeader zero{};
  if (const int error = platform::WriteAll(fd_.get(), BytesOf(zero)); error != 0) {
    fail(error);
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
  if (const int error = WriteAllAt(fd_.get(), reinterpret_cast<const char*>(&header_),
                                   sizeof header_, 0);
      error != 0) {
    fail(error);
    ok = false;
  }
  if (::close(fd_.release()) != 0) {
    fail(errno);
    ok = false;
  }
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
  if (!writeFailed_ && !buffer_.empty()) {
    if (const int error = platform::WriteAll(fd_.get(), buffer_); error != 0) {
      fail(error);
      writeFailed_ = true;
    }
  }
  buffer_.clear();
  return !writeFailed_;
}

// The records appended so far reach the file even without a header.
void IndexFile::close() {
  flush();
  fd_.reset();
  buffer_.clear();
}

}  // namespace vexlo::analysis
