#include "encode/OutputNames.h"

#include "platform/Paths.h"

namespace vexlo::encode {

std::string_view OutputExtension(OutputType type) {
  switch (type) {
    case OutputType::kH264:
      return ".H264";
    case OutputType::kH265:
      return ".H265";
    case OutputType::kMpv:
      break;
  }
  return ".MPV";
}

std::string OutputFileName(std::string_view source, std::string_view extension) {
  const std::size_t nameStart = source.rfind(platform::kPathSeparator) + 1;  // 0 without one
  const std::size_t dot = platform::ExtensionDot(source, true);
  std::string name(source.substr(
      nameStart, dot == std::string_view::npos ? std::string_view::npos : dot - nameStart));
  return name.append(extension);
}

std::string OutputPathIn(std::string_view source, std::string_view folder,
                         std::string_view extension) {
  constexpr char kSep = platform::kPathSeparator;
  std::string path(folder.empty() ? source.substr(0, source.rfind(kSep) + 1) : folder);
  if (!folder.empty() && folder.back() != kSep) path += kSep;
  return path + OutputFileName(source, extension);
}

}  // namespace vexlo::encode
