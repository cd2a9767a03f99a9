#include "encode/PngEncodes.h"

#include "process/CommandLineBuilder.h"
#include "encode/EncoderPieces.h"
#include "encode/OptionTables.h"
#include "encode/VaapiPieces.h"

namespace vexlo::encode {
namespace {

enum class Container { kRaw, kMp4 };

// The input frame rate, the sequence's start number and the quoted pattern.
void AddSequenceInput(process::CommandLineBuilder& line, const EncoderSettings& settings,
                      const PngPattern& png) {
  const std::string_view rate = tables::FrameRate(settings.fps);
  if (!rate.empty()) line.Add(" -framerate " + std::string(rate));
  line.Add(" -pattern_type sequence -start_number " + png.startNumber);
  line.Add(" -i ").AddQuoted(png.pattern);
}

std::string EncodePngHevc(const EncoderSettings& settings, std::string_view programDir,
                          const PngPattern& png, std::string_view dst, Container container) {
  process::CommandLineBuilder line(programDir);
  vaapi::AddDevice(line, settings);
  // Without the report these encodes name no input format at all.
  if (settings.useReport) line.Add(" -report -f image2");
  AddSequenceInput(line, settings, png);
  pieces::AddH265EncoderAndRate(line, settings, tables::PngH265BitRate,
                                pieces::SoftwarePixelFormat::kLeftOut);
  pieces::AddPngPixelFormat(line, settings);
  line.Add(" -map_metadata -1");
  pieces::AddHevcTail(line, settings, container == Container::kMp4, dst);
  return line.Text();
}

}  // namespace

std::string EncodePngH264(const EncoderSettings& settings, std::string_view programDir,
                          const PngPattern& png, std::string_view dst) {
  process::CommandLineBuilder line(programDir);
  vaapi::AddDevice(line, settings);
  pieces::AddReport(line, settings);
  line.Add(" -f image2");
  AddSequenceInput(line, settings, png);
  line.Add(pieces::H264Encoder(settings).piece);
  pieces::AddH264RateAndProfile(line, settings, pieces::SoftwarePixelFormat::kLeftOut);
  pieces::AddPngPixelFormat(line, settings);
  line.Add(" -map_metadata -1");
  pieces::AddResize(line, settings, tables::ResizeRange::kListOnly);
  vaapi::AddUpload(line, settings, vaapi::Codec::kH264);
  pieces::AddDestination(line, dst);
  return line.Text();
}

std::string EncodePngH265(const EncoderSettings& settings, std::string_view programDir,
                          const PngPattern& png, std::string_view dst) {
  return EncodePngHevc(settings, programDir, png, dst, Container::kRaw);
}

std::string EncodePngMpv(const EncoderSettings& settings, std::string_view programDir,
                         const PngPattern& png, std::string_view dst) {
  return EncodePngHevc(settings, programDir, png, dst, Container::kMp4);
}

}  // namespace vexlo::encode
