#include "encode/EncoderTrial.h"

#include <cerrno>

#include "encode/VaapiPieces.h"
#include "platform/FileOperations.h"
#include "platform/SystemError.h"
#include "process/CommandLineBuilder.h"

namespace vexlo::encode {
namespace {

// One second of a generated test picture at 25 frames/s, thrown away.
constexpr std::string_view kTrialInput = " -f lavfi -i testsrc=size=640x480:rate=25 -frames:v 25";

bool GoesThroughVaapi(std::string_view encoder) {
  return encoder.ends_with("_vaapi");
}

}  // namespace

std::string EncoderTrial(std::string_view programDir, std::string_view encoder) {
  const bool vaapi = GoesThroughVaapi(encoder);
  process::CommandLineBuilder line(programDir);
  line.Add(" -hide_banner");
  if (vaapi) line.Add(" -vaapi_device ").Add(vaapi::kRenderNode);
  line.Add(kTrialInput);
  if (vaapi)
    line.Add(" -vf ").Add(encoder.starts_with("h264") ? vaapi::kH264Upload : vaapi::kH265Upload);
  return line.Add(" -c:v ").Add(encoder).Add(" -f null -").Text();
}

std::string TrialName(std::string_view encoder) {
  if (!GoesThroughVaapi(encoder)) return std::string(encoder);
  return std::string(encoder) + " on " + std::string(vaapi::kRenderNode);
}

std::string MissingDevice(std::string_view encoder) {
  if (!GoesThroughVaapi(encoder)) return {};
  const std::string node(vaapi::kRenderNode);
  const platform::PathInfo info = platform::LookAt(node);
  std::string why;
  if (info.kind == platform::PathKind::kMissing) {
    why = info.error == ENOENT ? "does not exist"
                               : "cannot be looked at (" + platform::ErrorText(info.error) + ")";
  } else if (const int error = platform::CanRead(node); error != 0) {
    why = "cannot be opened (" + platform::ErrorText(error) + ")";
  }
  return why.empty() ? why : "no VA-API device: " + node + " " + why;
}

}  // namespace vexlo::encode
