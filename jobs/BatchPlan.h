#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The command-line batch as decisions over plain data: which file each source makes, the names
// an item writes under before its output counts, and which batches are refused before anything
// runs. No file is touched here.
namespace vexlo::jobs {

/// The extension of the batch's outputs: ".WAV" for audio, else the output type's
/// (encode::OutputExtension). Each output is named by encode::OutputPathIn.
std::string_view BatchExtension(bool audio, int outType);

/// The name an item writes to until its output has passed the check: in the output's folder,
/// with the same extension (so the tool picks the same muxer), marked with the process that owns
/// it: "/out/clip.H264" -> "/out/clip.vexlo-partial-1234.H264".
std::string TemporaryName(std::string_view output, long ownerPid);
/// The name an output that failed its check is kept under: "/out/clip.incomplete.H264".
std::string IncompleteName(std::string_view output);
/// The owner's process id when a file name is a temporary name, else nothing.
std::optional<long> TemporaryOwner(std::string_view fileName);

/// One source of the batch and the names its item uses. `source` and `output` are as the user
/// gave them (the output in the output folder as given); the paths are absolute.
struct BatchItem {
  std::string source;
  std::string output;
  std::string sourcePath;
  std::string outputPath;
  std::string temporaryPath;
  std::string incompletePath;
};

struct BatchPlan {
  std::vector<BatchItem> items;
  std::string refusal;  // why the whole batch is refused; empty when it may run
};

/// The items of a batch, in the sources' order: relative paths are taken from
/// `workingDirectory`. Refused when two sources make the same output (naming both; the letter
/// case aside on Windows).
BatchPlan PlanBatch(const std::vector<std::string>& sources, const std::string& outputDir,
                    std::string_view extension, const std::string& workingDirectory, long ownerPid);

/// The sources of a list: one path a line (LF or CR LF), empty lines left out.
std::vector<std::string> SourceListLines(std::string_view text);

}  // namespace vexlo::jobs
