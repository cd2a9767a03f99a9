#include "encode/EncodeRequest.h"

#include <initializer_list>
#include <optional>
#include <utility>

#include "encode/AudioExtraction.h"
#include "encode/PngEncodes.h"
#include "encode/PngPattern.h"
#include "encode/TestEncode.h"
#include "encode/VideoEncodes.h"
#include "platform/Paths.h"
#include "process/LogTexts.h"

namespace vexlo::encode {
namespace {

using VideoBuilder = std::string (*)(const EncoderSettings&, std::string_view, std::string_view,
                                     std::string_view);
using PngBuilder = std::string (*)(const EncoderSettings&, std::string_view, const PngPattern&,
                                   std::string_view);

constexpr int kStartedVideoSaves = 2;      // the builder's own save and the request's
constexpr int kFrameRateRefusalSaves = 1;  // the builder returns before its save
constexpr int kNoNumberRefusalSaves = 2;   // the builder has saved before it derives

EncodePlan Refusal(std::string_view line, int saves = 0) {
  EncodePlan plan;
  plan.errorLine = std::string(line);
  plan.settingsSaves = saves;
  return plan;
}

EncodePlan Started(std::string commandLine, int saves, bool wholeSource = true) {
  EncodePlan plan;
  plan.start = true;
  plan.settingsSaves = saves;
  plan.commandLine = std::move(commandLine);
  plan.wholeSource = wholeSource;
  return plan;
}

// True when writing `target` would overwrite or delete `source`: the same text (both empty
// included) or another name of the same existing file.
bool WouldReplaceSource(const std::string& source, const std::string& target) {
  return platform::SameFile(source, target);
}

// True when the tool would read one name as a frame of the other's image-sequence pattern: the
// source's pattern reads the target, or the target's pattern writes over the source.
bool SequencesOverlap(std::string_view source, std::string_view target) {
  return platform::SequencePatternReads(source, target) ||
         platform::SequencePatternReads(target, source);
}

// The refusal line of the first path that cannot go on a command line, if any.
std::optional<std::string> UnusablePathLine(std::initializer_list<std::string_view> paths) {
  for (std::string_view path : paths) {
    if (!platform::PathIsSafeForCommandLine(path)) return process::text::UnusablePath(path);
  }
  return std::nullopt;
}

// The refusal line for a source and a destination that cannot make one job, if any: the same
// file, a path that cannot go on a command line, or image sequences that overlap.
std::optional<std::string> DestinationRefusal(const std::string& source,
                                              const std::string& destination) {
  if (WouldReplaceSource(source, destination)) return std::string(process::text::kSameFile);
  if (auto line = UnusablePathLine({source, destination})) return line;
  if (SequencesOverlap(source, destination)) return process::text::SequenceOverlap(destination);
  return std::nullopt;
}

VideoBuilder VideoBuilderFor(OutputType type) {
  constexpr VideoBuilder kBuilders[] = {EncodeH264, EncodeH265, EncodeMpv};
  return kBuilders[static_cast<int>(type)];
}

PngBuilder PngBuilderFor(OutputType type) {
  constexpr PngBuilder kBuilders[] = {EncodePngH264, EncodePngH265, EncodePngMpv};
  return kBuilders[static_cast<int>(type)];
}

EncodePlan PlanPngEncode(const EncoderSettings& settings, const EncodePaths& paths,
                         std::string_view programDir) {
  if (settings.fps < 1) return Refusal(kPngFrameRateMissing, kFrameRateRefusalSaves);
  const std::optional<PngPattern> png = DerivePngPattern(paths.source);
  if (!png) return Refusal(kPngFrameNumberMissing, kNoNumberRefusalSaves);
  if (auto line = UnusablePathLine({png->pattern})) return Refusal(*line);
  if (SequencesOverlap(png->pattern, paths.videoDestination)) {
    return Refusal(process::text::SequenceOverlap(paths.videoDestination), kNoNumberRefusalSaves);
  }
  return Started(PngBuilderFor(OutputTypeOf(settings.outType))(settings, programDir, *png,
                                                               paths.videoDestination),
                 kStartedVideoSaves, /*wholeSource=*/false);
}

}  // namespace

EncodePlan PlanVideoEncode(const EncoderSettings& settings, const EncodePaths& paths,
                           std::string_view programDir) {
  if (auto line = DestinationRefusal(paths.source, paths.videoDestination)) return Refusal(*line);
  EncodePlan plan =
      IsPngSequenceSource(paths.source)
          ? PlanPngEncode(settings, paths, programDir)
          : Started(VideoBuilderFor(OutputTypeOf(settings.outType))(
                        settings, programDir, paths.source, paths.videoDestination),
                    kStartedVideoSaves);
  if (plan.start) plan.video = settings;
  return plan;
}

EncodePlan PlanAudioEncode(const EncoderSettings& /*settings*/, const EncodePaths& paths,
                           std::string_view programDir, bool automaticMode) {
  if (WouldReplaceSource(paths.source, paths.audioDestination)) {
    return Refusal(process::text::kSameFile);
  }
  if (auto line = UnusablePathLine({paths.source, paths.audioDestination})) return Refusal(*line);
  // The WAV name is derived from the destination and may name the source itself; it is checked
  // before the request deletes anything.
  std::string wavName = DeriveWavName(paths.audioDestination);
  if (WouldReplaceSource(paths.source, wavName)) return Refusal(process::text::kSameFile);
  if (auto line = UnusablePathLine({wavName})) return Refusal(*line);
  if (SequencesOverlap(paths.source, wavName)) return Refusal(process::text::SequenceOverlap(wavName));
  // In automatic mode only ExtractWav's own save runs.
  EncodePlan plan = Started(ExtractWav(programDir, paths.source, wavName), automaticMode ? 1 : 2);
  plan.deleteBeforeStart = std::move(wavName);
  return plan;
}

EncodePlan PlanTestEncode(const EncoderSettings& settings, const EncodePaths& paths,
                          std::string_view programDir) {
  if (auto line = DestinationRefusal(paths.source, paths.videoDestination)) return Refusal(*line);
  return Started(
      TestEncodeMjpeg(programDir, paths.source, paths.videoDestination, settings.useReport), 0);
}

}  // namespace vexlo::encode
