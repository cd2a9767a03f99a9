#include "encode/EncoderPieces.h"

#include <string>

#include "encode/VaapiPieces.h"

namespace vexlo::encode::pieces {

tables::EncoderRow H264Encoder(const EncoderSettings& settings) {
  return vaapi::Uses(settings) ? vaapi::kH264Encoder : tables::H264Encoder(settings.gpuType);
}

tables::EncoderRow H265Encoder(const EncoderSettings& settings) {
  return vaapi::Uses(settings) ? vaapi::kH265Encoder : tables::H265Encoder(settings.gpuType);
}

void AddH264RateAndProfile(process::CommandLineBuilder& line, const EncoderSettings& settings,
                           SoftwarePixelFormat pixelFormat) {
  if (vaapi::Uses(settings)) {
    vaapi::AddProfile(line, settings);
    vaapi::AddRate(line, tables::H264BitRate(settings.crf));
    return;
  }
  if (settings.gpuType != 0) {
    line.Add(" -vprofile").Add(tables::ProfileWord(settings.profile));
    line.Add(tables::H264BitRate(settings.crf));
    return;
  }
  line.Add(tables::Preset(settings.crf));
  line.Add(" -tune zerolatency -vprofile").Add(tables::ProfileWord(settings.profile));
  if (pixelFormat == SoftwarePixelFormat::kInside) line.Add(" -pix_fmt yuv420p");
  line.Add(tables::SoftwareCrf(settings.crf));
}

void AddH265EncoderAndRate(process::CommandLineBuilder& line, const EncoderSettings& settings,
                           BitRateLookup bitRate, SoftwarePixelFormat pixelFormat) {
  const tables::EncoderRow encoder = H265Encoder(settings);
  line.Add(encoder.piece);
  if (vaapi::Uses(settings)) {
    vaapi::AddRate(line, bitRate(settings.crf));
    return;
  }
  if (encoder.hardware) {
    line.Add(bitRate(settings.crf));
    return;
  }
  line.Add(" -vprofile main");
  if (pixelFormat == SoftwarePixelFormat::kInside) line.Add(" -pix_fmt yuv420p");
  line.Add(tables::SoftwareCrf(settings.crf));
}

void AddPngPixelFormat(process::CommandLineBuilder& line, const EncoderSettings& settings) {
  if (!vaapi::Uses(settings)) line.Add(" -pix_fmt yuv420p");
}

void AddDeinterlace(process::CommandLineBuilder& line, const EncoderSettings& settings) {
  if (settings.deinterlace) line.AddFilter("-vf", "yadif");
}

void AddResize(process::CommandLineBuilder& line, const EncoderSettings& settings,
               tables::ResizeRange range) {
  const auto row = tables::Resize(settings.resize, range);
  if (!row) return;
  // Written alone, the option and the scale filter stand two blanks apart.
  line.AddFilter("-vf", "scale=" + std::string(row->size), " ");
  line.Add(" -aspect " + std::string(row->aspect));
}

void AddReport(process::CommandLineBuilder& line, const EncoderSettings& settings) {
  if (settings.useReport) line.Add(" -report");
}

void AddHevcTail(process::CommandLineBuilder& line, const EncoderSettings& settings, bool mp4,
                 std::string_view destination) {
  AddDeinterlace(line, settings);
  AddResize(line, settings, tables::ResizeRange::kListOnly);
  vaapi::AddUpload(line, settings, vaapi::Codec::kH265);
  if (mp4) line.Add(" -f mp4");
  AddDestination(line, destination);
}

void AddDestination(process::CommandLineBuilder& line, std::string_view destination) {
  line.Add(" ").AddQuoted(destination);
}

}  // namespace vexlo::encode::pieces
