#include "analysis/IndexNaming.h"

#include "platform/Paths.h"
#include "process/LogTexts.h"
#include "process/CommandLineBuilder.h"

namespace vexlo::analysis {

std::optional<std::string> IndexPathFor(std::string_view namingPath, bool gopMode) {
  if (namingPath.empty()) return std::nullopt;
  std::string path(namingPath.substr(0, platform::ExtensionDot(namingPath)));
  path += gopMode ? kGopExtension : kIndexExtension;
  return path;
}

std::string FrameIndexCommandLine(std::string_view programDir, std::string_view input) {
  return process::CommandLineBuilder(programDir, process::kProberTool)
      .Add(" -show_frames ")
      .AddQuoted(input)
      .Text();
}

std::string FrameIndexRefusal(const std::string& input,
                              const std::optional<std::string>& indexPath) {
  if (input.empty() || !indexPath) return std::string(process::text::kOriginNotSpecified);
  if (!platform::PathIsSafeForCommandLine(input)) return process::text::UnusablePath(input);
  if (platform::SameFile(*indexPath, input)) return std::string(process::text::kSameFile);
  return {};
}

}  // namespace vexlo::analysis
