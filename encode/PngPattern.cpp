#include "encode/PngPattern.h"

#include <cctype>
#include <cstddef>

#include "platform/Characters.h"

namespace vexlo::encode {
namespace {

constexpr std::string_view kPngExtension = ".PNG";

std::string UpperCased(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

// The number of digits at the end of the stem; the stem's first character is never counted.
std::size_t TrailingDigits(std::string_view stem) {
  std::size_t count = 0;
  for (std::size_t i = stem.size(); i > 1 && platform::IsDigit(stem[i - 1]); --i) ++count;
  return count;
}

}  // namespace

bool IsPngSequenceSource(std::string_view source) {
  return UpperCased(source).find(kPngExtension) != std::string::npos;
}

std::optional<PngPattern> DerivePngPattern(std::string_view source) {
  const std::size_t stemLength = UpperCased(source).find(kPngExtension);
  if (stemLength == std::string::npos) return std::nullopt;
  const std::string_view stem = source.substr(0, stemLength);
  const std::size_t digits = TrailingDigits(stem);
  if (digits + 2 > stemLength) return std::nullopt;
  const std::size_t prefix = stemLength - digits;
  PngPattern result;
  result.startNumber = std::string(stem.substr(prefix));
  result.pattern = std::string(stem.substr(0, prefix)) + "%0" + std::to_string(digits) + "d.png";
  return result;
}

}  // namespace vexlo::encode
