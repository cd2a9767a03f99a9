#include "app/Derivations.h"

#include "encode/OutputNames.h"
#include "platform/Paths.h"

namespace vexlo::app {

namespace {

std::string CutAndAppend(std::string_view source, char cut, std::string_view suffix) {
  const auto at = source.rfind(cut);
  if (at == std::string_view::npos) return std::string(source);
  std::string result(source.substr(0, at));
  result += suffix;
  return result;
}

std::string InFolder(std::string_view name) {
  return std::string(1, platform::kPathSeparator) + std::string(name);
}

}  // namespace

std::string DeriveDestination(Destination button, std::string_view source, int outType) {
  const std::string_view extension = encode::OutputExtension(encode::OutputTypeOf(outType));
  constexpr char kSep = platform::kPathSeparator;
  switch (button) {
    case Destination::kVid:
      return CutAndAppend(source, kSep, InFolder("VIDEO" + std::string(extension)));
    case Destination::kH264:
    case Destination::kMpv:
      return CutAndAppend(source, '.', extension);
    case Destination::kH265:
      return CutAndAppend(source, '.', ".H265");
    case Destination::kAud:
      return CutAndAppend(source, kSep, InFolder("AUDIO.WAV"));
    case Destination::kWav:
      return CutAndAppend(source, '.', encode::kWavExtension);
  }
  return std::string(source);
}

std::string BrowseDirectory(std::string_view path) {
  const auto at = path.rfind(platform::kPathSeparator);
  std::string folder(at == std::string_view::npos ? path : path.substr(0, at));
  folder += platform::kPathSeparator;
  return folder;
}

}  // namespace vexlo::app
