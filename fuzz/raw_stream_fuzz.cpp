// The raw stream reader: any bytes, fed whole or in pieces of any size, give the same reading
// (or none) without a fault, and a reading never has more frames than the bytes could hold.
#include <cstdlib>

#include "analysis/RawStream.h"

using namespace vexlo::analysis;

namespace {

bool Same(const std::optional<RawStreamReading>& a, const std::optional<RawStreamReading>& b) {
  if (!a || !b) return !a && !b;
  return a->video.frames == b->video.frames && a->video.size == b->video.size &&
         a->video.pixelFormat == b->video.pixelFormat && a->video.profile == b->video.profile &&
         a->video.longestGop == b->video.longestGop && a->frameRate == b->frameRate;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks the codec, the GOP and the size of the pieces.
  const RawCodec codec = data[0] % 2 == 0 ? RawCodec::kH264 : RawCodec::kH265;
  const bool measureGop = data[0] / 2 % 2 == 1;
  const std::size_t piece = data[0] / 4 + 1;
  ++data, --size;
  RawStreamReader whole(codec, measureGop), pieces(codec, measureGop);
  whole.Feed(data, size);
  for (std::size_t at = 0; at < size; at += piece)
    pieces.Feed(data + at, std::min(piece, size - at));
  if (whole.GaveUp() != pieces.GaveUp()) std::abort();
  const auto reading = whole.Finish();
  if (!Same(reading, pieces.Finish())) std::abort();
  // A reader that gave up gives nothing; a reading has at most a picture a byte.
  if (whole.GaveUp() && reading) std::abort();
  if (reading && (*reading->video.frames < 1 || *reading->video.frames > static_cast<long>(size))) {
    std::abort();
  }
  return 0;
}
