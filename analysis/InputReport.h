#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "analysis/Conformance.h"

// The source as an encode's own report of its first input gives it ("Input #0", its
// "Duration:" and its "Stream #0:N" lines), so that the output's check need not start the
// prober to read the source's header again. The report rounds: a duration to hundredths of a
// second, a rate such as 24000/1001 to "23.98", and the file's duration is its longest
// stream's. So it stands in for the header only where that cannot matter: an input of one
// stream, a video one, with a whole frame rate; and the check trusts it only when the output
// matches it (jobs/ConformanceCheck reads the header before it reports a difference).
namespace vexlo::analysis {

class InputReport {
 public:
  /// Reads one line of the encode's output (the lines in order, line ends dropped).
  void Read(std::string_view line);
  /// The source's video as the report gives it; nothing unless the first input had exactly one
  /// stream, a video one, with its size, a whole frame rate and a duration.
  std::optional<SourceVideo> Video() const;

 private:
  enum class Section { kBefore, kFirstInput, kAfter };
  Section section_ = Section::kBefore;
  int streams_ = 0;
  std::optional<std::int64_t> durationMs_;
  std::optional<SourceVideo> video_;  // the first stream's, when it is video and readable
};

}  // namespace vexlo::analysis
