#include "process/ChunkAssembler.h"

#include <algorithm>
#include <cstring>

namespace vexlo::process {

namespace {

// How many of the bytes come up to and with the last CR among them; 0 when none is a CR.
std::size_t UpToLastCr(const char* data, std::size_t length) {
  while (length > 0 && data[length - 1] != '\r') --length;
  return length;
}

}  // namespace

void ChunkAssembler::add(const char* data, std::size_t length) {
  while (length > 0) {
    const std::size_t used = filled_ > 0 ? fill(data, length) : handOut(data, length);
    data += used;
    length -= used;
  }
}

void ChunkAssembler::flushPieces() {
  if (afterLastCr_ > 0) handOutFront(afterLastCr_);
}

void ChunkAssembler::flush() {
  if (filled_ > 0) handOutFront(filled_);
}

// The first chunk that lies whole in the bytes goes out from there; bytes that hold none begin a
// chunk in the buffer. The bytes used.
std::size_t ChunkAssembler::handOut(const char* data, std::size_t length) {
  const std::size_t window = std::min(length, buffer_.size());
  std::size_t size = window;
  if (const void* lineFeed = std::memchr(data, '\n', window)) {
    size = static_cast<std::size_t>(static_cast<const char*>(lineFeed) - data) + 1;
  } else if (window < buffer_.size()) {
    std::memcpy(buffer_.data(), data, window);
    filled_ = window;
    afterLastCr_ = UpToLastCr(data, window);
    return window;
  } else if (const std::size_t pieces = UpToLastCr(data, window); pieces > 0) {
    size = pieces;
  }
  deliver_(data, static_cast<int>(size), context_);
  return size;
}

// Adds bytes to the chunk begun; the bytes used.
std::size_t ChunkAssembler::fill(const char* data, std::size_t length) {
  std::size_t take = std::min(length, buffer_.size() - filled_);
  const void* lineFeed = std::memchr(data, '\n', take);
  if (lineFeed != nullptr) {
    take = static_cast<std::size_t>(static_cast<const char*>(lineFeed) - data) + 1;
  }
  std::memcpy(buffer_.data() + filled_, data, take);
  if (const std::size_t pieces = UpToLastCr(data, take); pieces > 0) {
    afterLastCr_ = filled_ + pieces;
  }
  filled_ += take;
  if (lineFeed != nullptr) {
    flush();
  } else if (filled_ == buffer_.size()) {
    handOutFront(afterLastCr_ > 0 ? afterLastCr_ : filled_);
  }
  return take;
}

// Hands out the first `size` bytes of the buffer as a chunk and keeps the rest, which holds no CR.
void ChunkAssembler::handOutFront(std::size_t size) {
  deliver_(buffer_.data(), static_cast<int>(size), context_);
  std::memmove(buffer_.data(), buffer_.data() + size, filled_ - size);
  filled_ -= size;
  afterLastCr_ = 0;
}

}  // namespace vexlo::process
