// The frame-line parser: any report, cut into lines as the index job cuts it, fills the working
// records without a fault; every record written is a video frame's and the GOP stays bounded.
#include <cstdlib>
#include <string_view>

#include "analysis/FrameParser.h"
#include "process/OutputLines.h"

using namespace vexlo::analysis;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  FrameParseState state;
  state.gopMode = size % 2 == 1;
  long records = 0;
  FrameParseHooks hooks;
  hooks.writeRecord = [&](const FrameRecord&) { ++records; };
  hooks.appendLog = [](std::string_view line) {
    if (line.size() >= kGopLineSize) std::abort();
  };
  vexlo::process::SplitChunkLines(reinterpret_cast<const char*>(data), static_cast<int>(size),
                                  [&](std::string_view line) { ParseFrameLine(state, line, hooks); });
  if (records != state.header.frameCount || state.gop.counter > kGopMaxLetters) std::abort();
  return 0;
}
