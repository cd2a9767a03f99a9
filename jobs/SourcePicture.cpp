#include "jobs/SourcePicture.h"

#include <algorithm>
#include <cctype>

#include "jobs/QualityMeasure.h"
#include "process/CommandLineBuilder.h"
#include "process/ToolRun.h"

namespace vexlo::jobs {

int BitDepthOf(std::string_view pixelFormat) {
  if (pixelFormat.ends_with("le") || pixelFormat.ends_with("be")) pixelFormat.remove_suffix(2);
  std::size_t digits = pixelFormat.size();
  while (digits > 0 && std::isdigit(static_cast<unsigned char>(pixelFormat[digits - 1]))) {
    --digits;
  }
  const std::string_view name = pixelFormat.substr(0, digits);
  const std::string_view number = pixelFormat.substr(digits);
  if (number.empty() || number.size() > 3) return 8;
  const int value = std::stoi(std::string(number));
  // Planar formats say their depth after the 'p' ("yuv420p10", "gbrp12", "p010"), grey ones
  // after "gray"; packed RGB says the bits of a whole pixel ("rgb48", "rgba64"). Anything else
  // ("nv12", "rgb24", "yuv420p") is 8 bits a sample.
  if (name.ends_with('p') || name == "gray" || name == "ya") return std::clamp(value, 8, 16);
  if ((name == "rgb" || name == "bgr") && value == 48) return 16;
  if ((name == "rgba" || name == "bgra") && value == 64) return 16;
  return 8;
}

SourcePicture ProbeSourcePicture(const std::string& programDir, const std::string& sourcePath,
                                 const platform::UniqueFd& stop) {
  const std::string commandLine =
      process::CommandLineBuilder(programDir, process::kProberTool)
          .Add(" -v error -select_streams v:0 -show_entries stream=width,height,pix_fmt "
               "-of default=noprint_wrappers=1 ")
          .AddQuoted(sourcePath)
          .Text();
  std::string text;
  const process::ToolEnd end = process::RunTool(
      commandLine, programDir,
      [&text](std::string_view line) {
        if (text.size() < 4096) text.append(line).push_back('\n');
        return false;
      },
      stop);
  const std::optional<VideoShape> shape = ParseVideoShape(text);
  if (end.outcome != process::JobOutcome::kFinished || !shape) return {};
  return {shape->width, shape->height, BitDepthOf(shape->pixelFormat)};
}

}  // namespace vexlo::jobs
