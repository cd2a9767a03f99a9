// The names derived from a path (WAV, index, picture, PNG pattern, destination buttons) and the
// path checks. Input: a path, a NUL, a second path. Each name that is written beside a file stays
// in that file's folder.
#include <cstdlib>
#include <string>
#include <string_view>

#include "analysis/FrameGrab.h"
#include "analysis/IndexNaming.h"
#include "app/Derivations.h"
#include "encode/AudioExtraction.h"
#include "encode/PngPattern.h"
#include "platform/Paths.h"

using namespace vexlo;

namespace {
// The derived name lies in the folder of `path`: the same text up to and including the last
// '/', and no '/' after it.
void RequireSameFolder(std::string_view path, std::string_view derived) {
  const auto slash = path.rfind('/');
  const std::size_t folder = slash == path.npos ? 0 : slash + 1;
  if (derived.substr(0, folder) != path.substr(0, folder) ||
      derived.find('/', folder) != derived.npos) {
    std::abort();
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string_view path = input.substr(0, input.find('\0'));
  const std::string_view other = input.substr(path.size() < size ? path.size() + 1 : size);
  RequireSameFolder(path, encode::DeriveWavName(path));
  if (auto index = analysis::IndexPathFor(path, size % 2 == 0)) RequireSameFolder(path, *index);
  const float seconds = analysis::FrameSeconds(other);
  if (auto picture = analysis::PicturePathFor(path, seconds)) RequireSameFolder(path, *picture);
  if (auto png = encode::DerivePngPattern(path)) platform::SequencePatternReads(png->pattern, other);
  for (int button = 0; button < 6; ++button) {
    app::DeriveDestination(static_cast<app::Destination>(button), path,
                           static_cast<int>(size % 4) - 1);
  }
  if (platform::SequencePatternReads(path, other) && path.find('%') == path.npos) std::abort();
  if (platform::PathIsSafeForCommandLine(path) && platform::ToolReadsAsProtocol(path)) std::abort();
  return 0;
}
