#include "analysis/RawStream.h"

namespace vexlo::analysis {

// Not read yet: every raw stream is left to the prober.
std::optional<RawStreamReading> ReadRawStream(const std::string& /*path*/, RawCodec /*codec*/,
                                              bool /*measureGop*/) {
  return std::nullopt;
}

}  // namespace vexlo::analysis
