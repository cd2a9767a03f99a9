// The tool output splitter and line parser: lines are the kept bytes between CRs, never longer
// than the limit, and the parsed figures stay what the parser can hold.
#include <cstdlib>
#include <string_view>

#include "process/OutputLines.h"

using namespace vexlo::process;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  std::size_t kept = 0;
  SplitChunkLines(reinterpret_cast<const char*>(data), static_cast<int>(size),
                  [&](std::string_view line) {
                    if (line.size() <= kShortestDroppedLine || line.size() > kMaxOutputLineLength)
                      std::abort();
                    for (char c : line) {
                      if (c == '\r' || static_cast<unsigned char>(c) <= 10 ||
                          static_cast<unsigned char>(c) >= 128)
                        std::abort();
                    }
                    kept += line.size();
                    IsReportLine(line);
                    ReadClockMilliseconds(line);
                    [[maybe_unused]] const OutputTimes times = ReadOutputTimes(line);
                  });
  if (kept > size) std::abort();
  return 0;
}
