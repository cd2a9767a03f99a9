#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "platform/FileDescriptor.h"

namespace vexlo::analysis {

// The frame index file (".INDX", and ".TMP" for a GOP job) is read by other programs, so its
// layout is fixed: little-endian integers, IEEE 754 floats, no padding, reserved bytes zero.
// The structs below are that layout, byte for byte, and are written to disk as they stand.
static_assert(std::endian::native == std::endian::little,
              "the index file is written in the host's byte order, which must be little-endian");
static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559,
              "the index file holds IEEE 754 floating-point numbers");

/// The header at offset 0 of the index file: the video stream as seen in its second and third
/// video frames, and the number of video frames.
struct IndexHeader {
  std::int64_t frameCount = 0;         // number of video frames
  double totalDuration = 0;            // seconds: frame duration x number of video frames
  float frameRate = 0;                 // frames per second: 1 / frame duration, when that is not 0
  float frameDuration = 0;             // seconds
  std::uint8_t interlaced = 0;         // interlaced flag
  std::uint8_t topFieldFirst = 0;      // top field first flag
  char pixelFormat[22] = {};           // pixel format name, NUL-terminated, zero-filled
  std::int32_t width = 0;              // pixels
  std::int32_t height = 0;             // pixels
  std::int32_t mediaType = 0;          // media type letter (118, 'v')
  std::int32_t aspectNumerator = 0;    // sample aspect ratio before the colon
  std::int32_t aspectDenominator = 0;  // sample aspect ratio after the colon
  std::uint8_t reserved[100] = {};     // always zero
};

static_assert(sizeof(IndexHeader) == 168);
static_assert(offsetof(IndexHeader, frameCount) == 0);
static_assert(offsetof(IndexHeader, totalDuration) == 8);
static_assert(offsetof(IndexHeader, frameRate) == 16);
static_assert(offsetof(IndexHeader, frameDuration) == 20);
static_assert(offsetof(IndexHeader, interlaced) == 24);
static_assert(offsetof(IndexHeader, topFieldFirst) == 25);
static_assert(offsetof(IndexHeader, pixelFormat) == 26);
static_assert(offsetof(IndexHeader, width) == 48);
static_assert(offsetof(IndexHeader, height) == 52);
static_assert(offsetof(IndexHeader, mediaType) == 56);
static_assert(offsetof(IndexHeader, aspectNumerator) == 60);
static_assert(offsetof(IndexHeader, aspectDenominator) == 64);
static_assert(offsetof(IndexHeader, reserved) == 68);

/// One video frame of the index file, in the order the prober reports the frames.
struct FrameRecord {
  std::uint8_t keyFrame = 0;       // 1 for a key frame
  char pictType = 0;               // picture type letter: I, P, B...
  std::uint8_t reserved1[6] = {};  // always zero
  std::int64_t position = 0;       // byte position of the frame's packet in the analysed file
  std::int32_t size = 0;           // size of the frame's packet in bytes
  std::uint8_t reserved2[4] = {};  // always zero
};

static_assert(sizeof(FrameRecord) == 24);
static_assert(offsetof(FrameRecord, keyFrame) == 0);
static_assert(offsetof(FrameRecord, pictType) == 1);
static_assert(offsetof(FrameRecord, reserved1) == 2);
static_assert(offsetof(FrameRecord, position) == 8);
static_assert(offsetof(FrameRecord, size) == 16);
static_assert(offsetof(FrameRecord, reserved2) == 20);

/// The writer of one index file: a zero header when opened, records appended through a buffer,
/// the final header written over the zero one when finished. Used by one thread at a time.
class IndexFile {
 public:
  /// Bytes of records gathered before they are written out.
  static constexpr std::size_t kBufferSize = 64 * 1024;

  IndexFile() = default;
  ~IndexFile();  // Release
  IndexFile(const IndexFile&) = delete;
  IndexFile& operator=(const IndexFile&) = delete;

  /// Closes a file still open (records written, header not), zeroes the header copy, creates or
  /// empties the file and writes the 168 zero bytes of the header. 0, or -1 when the file cannot be
  /// created or written: the writer then stays closed and every record is skipped.
  [[nodiscard]] int Open(const std::string& path);
  /// Appends one record. -1 when no file is open or the file could not be written.
  int WriteRecord(const FrameRecord& record);
  /// Writes the pending records and the header at offset 0 and closes the file. -1 when no file
  /// is open, no header is given, or a write failed (the file is closed all the same).
  [[nodiscard]] int Finish(const IndexHeader* header);
  /// Closes a file still open: its records are written, its header is not.
  void Release();

  bool isOpen() const { return fd_.valid(); }
  /// The errno of the first failure to create, write or finish the file since Open; 0 when none.
  int error() const { return error_; }
  /// The copy of the last header given to Finish (zero after Open).
  const IndexHeader& header() const { return header_; }

 private:
  bool flush();
  void close();
  // Notes the first failure's errno (EIO when the system gave none).
  void fail(int error);

  platform::UniqueFd fd_;
  bool writeFailed_ = false;
  int error_ = 0;
  std::string buffer_;
  IndexHeader header_{};
};

}  // namespace vexlo::analysis
