#include "analysis/IndexFile.h"

#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/FileDescriptor.h"

namespace vexlo::analysis {

namespace {

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
  fd_.reset(platform::CreateForWriting(path));
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
  if (const int error = platform::WriteAllAt(fd_.get(), BytesOf(header_), 0); error != 0) {
    fail(error);
    ok = false;
  }
  if (const int error = platform::Close(fd_); error != 0) {
    fail(error);
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
