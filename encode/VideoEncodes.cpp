#include "encode/VideoEncodes.h"

#include "process/CommandLineBuilder.h"
#include "encode/EncoderPieces.h"
#include "encode/OptionTables.h"
#include "encode/VaapiPieces.h"

namespace vexlo::encode {
namespace {

enum class Container { kRaw, kMp4 };

// The forced frame rate of the H.264 encode: the fps filter and the output rate.
void AddH264FrameRate(process::CommandLineBuilder& line, const EncoderSettings& settings) {
  const std::string rate(tables::FrameRate(settings.fps));
  if (rate.empty()) return;
  line.AddFilter("-filter:v", "fps=fps=" + rate).Add(" -r " + rate);
}

std::string EncodeHevc(const EncoderSettings& settings, std::string_view programDir,
                       std::string_view src, std::string_view dst, Container container) {
  process::CommandLineBuilder line(programDir);
  vaapi::AddDevice(line, settings);
  pieces::AddReport(line, settings);
  line.Add(" -i ").AddQuoted(src);
  pieces::AddH265EncoderAndRate(line, settings, tables::H265BitRate,
                                pieces::SoftwarePixelFormat::kInside);
  line.Add(settings.shortGop ? " -g 8" : " -g 160");
  const std::string_view rate = tables::FrameRate(settings.fps);
  if (!rate.empty()) line.Add(" -r " + std::string(rate));
  line.Add(" -map_metadata -1");
  pieces::AddHevcTail(line, settings, container == Container::kMp4, dst);
  return line.Text();
}

}  // namespace

std::string EncodeH264(const EncoderSettings& settings, std::string_view programDir,
                       std::string_view src, std::string_view dst) {
  process::CommandLineBuilder line(programDir);
  vaapi::AddDevice(line, settings);
  pieces::AddReport(line, settings);
  line.Add(" -i ").AddQuoted(src).Add(pieces::H264Encoder(settings).piece);
  line.Add(settings.shortGop ? " -g 8" : " -g 64");
  pieces::AddH264RateAndProfile(line, settings, pieces::SoftwarePixelFormat::kInside);
  AddH264FrameRate(line, settings);
  line.Add(" -map_metadata -1");
  pieces::AddDeinterlace(line, settings);
  pieces::AddResize(line, settings, tables::ResizeRange::kWithPosition15);
  vaapi::AddUpload(line, settings, vaapi::Codec::kH264);
  pieces::AddDestination(line, dst);
  return line.Text();
}

std::string EncodeH265(const EncoderSettings& settings, std::string_view programDir,
                       std::string_view src, std::string_view dst) {
  return EncodeHevc(settings, programDir, src, dst, Container::kRaw);
}

std::string EncodeMpv(const EncoderSettings& settings, std::string_view programDir,
                      std::string_view src, std::string_view dst) {
  return EncodeHevc(settings, programDir, src, dst, Container::kMp4);
}

}  // namespace vexlo::encode
