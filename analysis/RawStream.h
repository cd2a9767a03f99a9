#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "analysis/Conformance.h"

// A raw H.264 or H.265 stream read back without the prober: its access units counted and its
// sequence header read the way the prober's packet reading gives them, at none of the cost of
// starting a tool (starting the prober alone costs about as much as a short clip's encode
// takes of a core for a tenth of a second).
namespace vexlo::analysis {

enum class RawCodec { kH264, kH265 };

struct RawStreamReading {
  OutputVideo video;  // what ReadOutputVideo gives from the prober's report
  // The prober's average rate, frames a second: the sequence header's timing, rounded as the
  // prober rounds it, so that frames * 1000 / frameRate is ReadOutputLength's length.
  std::optional<double> frameRate;
};

/// The reading of a stream handed over in pieces of any size, as they are read from a file.
class RawStreamReader {
 public:
  RawStreamReader(RawCodec codec, bool measureGop);
  ~RawStreamReader();
  RawStreamReader(const RawStreamReader&) = delete;
  RawStreamReader& operator=(const RawStreamReader&) = delete;

  /// The stream's next bytes.
  void Feed(const std::uint8_t* bytes, std::size_t size);
  /// Whether the bytes fed already hold what this reader leaves to the prober: Finish will give
  /// nothing whatever follows, so the rest need not be read.
  bool GaveUp() const;
  /// The reading of every byte fed, as ReadRawStream gives it; the reader is used up.
  std::optional<RawStreamReading> Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

/// Reads the stream at `path` in chunks (never whole in memory). With `measureGop`, the longest
/// GOP in the order frames are shown is measured too, where ReadOutputVideo measures it: when
/// the stream allows no reordering (the GOP is then counted in decoding order). Nothing when the
/// file cannot be read or holds anything this reader does not read exactly as the prober would
/// (docs/ARCHITECTURE.md lists what); the caller then runs the prober.
std::optional<RawStreamReading> ReadRawStream(const std::string& path, RawCodec codec,
                                              bool measureGop);

}  // namespace vexlo::analysis
