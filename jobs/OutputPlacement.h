#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "analysis/Conformance.h"
#include "jobs/ConformanceCheck.h"
#include "platform/FileDescriptor.h"
#include "process/RunEnd.h"

// The one output rule of the forms that name the file they write (the batch, the queue's items,
// the option form): the tool writes a temporary name in the output's folder; what it wrote is
// read back with the prober and compared with its source, then renamed to the output's name, or
// kept under the incomplete name ("clip.incomplete.H264") so that nothing but a checked output
// ever stands under the output's name, and an earlier file there is never lost to a failed run.
namespace vexlo::jobs {

struct OutputFiles {
  std::string temporaryPath;   // what the tool writes
  std::string outputPath;      // where a whole output goes
  std::string incompletePath;  // where what is not whole is kept
  std::string shownName;       // the output's name as the user gave it, for the words
  bool mayKeep = true;         // false: the incomplete name is a file that must stay (a source)
};

/// What the output is checked against.
struct OutputCheck {
  std::string programDir;  // where the prober is, and where it runs
  std::string sourcePath;
  std::optional<std::int64_t> sourceMs;  // nothing: no length to reach (a PNG sequence, a stream)
  bool audio = false;                    // a WAV, compared with the source's sound
  CheckAids aids;                        // what spares the read-back and the check a prober run
};

struct Placement {
  /// kFinished: the output is in place; kFailed: it is not (kept as incomplete, or removed);
  /// kCancelled: the stop came during the read-back (the temporary file is removed).
  process::JobOutcome outcome = process::JobOutcome::kFailed;
  /// Why it is not in place ("...; what was written is kept as NAME"), or what was not checked.
  std::string reason;
  std::optional<double> outputSeconds;  // the length read back
  std::optional<analysis::ConformanceReport> conformance;  // what the request's check compared
};

/// Keeps what was written under the incomplete name so that the user can look at it; an empty
/// file is removed, as is one that may not be kept. "; what was written is kept as NAME", or "".
std::string KeepIncomplete(const OutputFiles& files);

/// Reads the temporary file back, compares its length with the source's (its stream of the
/// output's kind, see analysis::ShortOfSource), and renames it into place; a source without a
/// length is not read back ("not checked: the source has no duration"). With a `request`, the same
/// read-back is compared with it (jobs/ConformanceCheck): an output short of frames fails as one
/// short of length does; what else differs only warns. `stop`, when given, may end the
/// read-back.
Placement CheckAndPlace(const OutputFiles& files, const OutputCheck& check,
                        const platform::UniqueFd* stop = nullptr,
                        const analysis::ConformanceRequest* request = nullptr);

}  // namespace vexlo::jobs
