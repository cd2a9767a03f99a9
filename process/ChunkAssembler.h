#pragma once

#include <array>
#include <cstddef>

namespace vexlo::process {

// Cuts the bytes read from a tool's pipe into the chunks its output notification receives, each
// at most kChunkSize bytes. A chunk ends after a line feed. Progress pieces (text that ends with
// a CR alone) share chunks but are never cut: a chunk that reaches kChunkSize bytes without a
// line feed ends after its last CR, and the rest begins the next chunk (a piece longer than
// kChunkSize is cut there). When the pipe has run empty, the reader hands out the whole pieces
// collected so far (flushPieces); what follows their last CR waits for its own end (a line that
// the tool writes in several writes stays whole). A chunk that lies whole in the bytes added is
// handed out from there without a copy.
class ChunkAssembler {
 public:
  static constexpr std::size_t kChunkSize = 1024;
  /// Receives each chunk; the bytes are valid only during the call.
  using Deliver = void (*)(const char* data, int length, void* context);

  ChunkAssembler(Deliver deliver, void* context) : deliver_(deliver), context_(context) {}

  void add(const char* data, std::size_t length);

  /// True when whole progress pieces wait in the chunk begun.
  bool piecesWaiting() const { return afterLastCr_ > 0; }
  /// True when the chunk begun ends with a CR, which a line feed may still follow.
  bool endsWithCr() const { return filled_ > 0 && buffer_[filled_ - 1] == '\r'; }
  /// Hands out the whole pieces of the chunk begun; the bytes after them stay.
  void flushPieces();
  /// Hands out the bytes collected so far, if any.
  void flush();

 private:
  std::size_t handOut(const char* data, std::size_t length);
  std::size_t fill(const char* data, std::size_t length);
  void handOutFront(std::size_t size);

  Deliver deliver_;
  void* context_;
  std::array<char, kChunkSize> buffer_;
  std::size_t filled_ = 0;
  std::size_t afterLastCr_ = 0;  // the bytes of the chunk begun up to its last CR; 0: none
};

}  // namespace vexlo::process
