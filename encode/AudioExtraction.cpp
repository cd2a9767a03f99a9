#include "encode/AudioExtraction.h"

#include "encode/CommandLineBuilder.h"

namespace vexlo::encode {

std::string DeriveWavName(std::string_view destination) {
  constexpr std::string_view kVideoName = "VIDEO.H264";
  if (const auto video = destination.find(kVideoName); video != std::string_view::npos) {
    return std::string(destination.substr(0, video)) + "AUDIO.WAV";
  }
  if (const auto dot = destination.rfind('.'); dot != std::string_view::npos) {
    return std::string(destination.substr(0, dot)) + ".WAV";
  }
  return std::string(destination);
}

std::string ExtractWav(std::string_view programDir, std::string_view src,
                       std::string_view wavName) {
  CommandLineBuilder line(programDir);
  line.Add(" -i ").AddQuoted(src);
  line.Add(" -vn -acodec pcm_s16le -ar 48000");
  // Two blanks stand before the WAV name.
  line.Add(" -map_metadata -1 ").Add(" ").AddQuoted(wavName);
  return line.Text();
}

}  // namespace vexlo::encode
