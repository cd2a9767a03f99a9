#include "encode/VaapiPieces.h"

#include <cstddef>
#include <string>

namespace vexlo::encode::vaapi {

bool Uses(const EncoderSettings& settings) {
  return settings.gpuType == 2 && settings.amdRoute == AmdRoute::kVaapi;
}

void AddDevice(process::CommandLineBuilder& line, const EncoderSettings& settings) {
  if (Uses(settings)) line.Add(" -vaapi_device " + std::string(kRenderNode));
}

void AddProfile(process::CommandLineBuilder& line, const EncoderSettings& settings) {
  // As the profile list's lookup: any position outside it gives the last row.
  const auto row = static_cast<std::size_t>(settings.profile);
  line.Add(" -profile:v")
      .Add(kProfileWords[row < kProfileWords.size() ? row : kProfileWords.size() - 1]);
}

void AddRate(process::CommandLineBuilder& line, std::string_view bitRate) {
  if (!bitRate.empty()) line.Add(kRateMode).Add(bitRate);
}

void AddUpload(process::CommandLineBuilder& line, const EncoderSettings& settings, Codec codec) {
  if (Uses(settings)) line.AddFilter("-vf", codec == Codec::kH264 ? kH264Upload : kH265Upload);
}

}  // namespace vexlo::encode::vaapi
