#include "encode/AudioExtraction.h"

#include "process/CommandLineBuilder.h"
#include "platform/Paths.h"

namespace vexlo::encode {

std::string DeriveWavName(std::string_view destination) {
  constexpr std::string_view kVideoName = "VIDEO.H264";
  // Both rules look at the file's own name only, never at a folder's.
  const auto slash = destination.rfind(platform::kPathSeparator);
  const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
  if (const auto video = destination.find(kVideoName, nameStart); video != std::string_view::npos) {
    return std::string(destination.substr(0, video)) + "AUDIO.WAV";
  }
  if (nameStart == destination.size()) return std::string(destination);  // no file name at all
  return std::string(destination.substr(0, platform::ExtensionDot(destination))) + ".WAV";
}

std::string ExtractWav(std::string_view programDir, std::string_view src,
                       std::string_view wavName) {
  process::CommandLineBuilder line(programDir);
  line.Add(" -i ").AddQuoted(src);
  line.Add(" -vn -acodec pcm_s16le -ar 48000");
  // Two blanks stand before the WAV name.
  line.Add(" -map_metadata -1 ").Add(" ").AddQuoted(wavName);
  return line.Text();
}

}  // namespace vexlo::encode
