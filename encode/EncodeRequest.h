#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "encode/EncoderSettings.h"

// The Encode requests as decisions over plain data. The window carries a plan out: it logs
// `errorLine` when there is one, saves all settings `settingsSaves` times, deletes
// `deleteBeforeStart` when it names a file, and, when `start` is set, stops the previous
// conversion and starts the runner with `commandLine`. A refused plan (start false) leaves the
// conversion runner alone and the window enables its controls again.
namespace vexlo::encode {

inline constexpr std::string_view kPngFrameRateMissing =
    "##### ERROR: You need to specify FPS before start conversion from PNG! ######\r\n";
/// A PNG source whose name has no frame number with at least two characters before it (the
/// original refused it without a word; a headless run then ended with nothing said).
inline constexpr std::string_view kPngFrameNumberMissing =
    "##### ERROR: The PNG file name needs a frame number before .png, as in img_0001.png ######\r\n";

/// The three paths of the window, as typed.
struct EncodePaths {
  std::string source;
  std::string videoDestination;
  std::string audioDestination;
};

struct EncodePlan {
  bool start = false;
  std::string errorLine;          // the line to log; empty for none
  int settingsSaves = 0;          // how many times SaveAllSettings runs
  std::string commandLine;        // the tool's command line when `start` is set
  std::string deleteBeforeStart;  // a file to delete before the start; empty for none
  // The output is the whole of a source the tool reads a duration from, so its end is compared
  // with that duration (not for a PNG sequence, whose length only the chosen frame rate makes).
  bool wholeSource = false;
  // A started video encode's settings: its output is checked against them once it has ended.
  std::optional<EncoderSettings> video;
};

/// The video Encode button: the same-file refusal, then for a PNG sequence (".PNG" anywhere in
/// the upper-cased source) the frame-rate refusal and the pattern derivation, and the builder
/// chosen by outType. A started job saves the settings twice.
EncodePlan PlanVideoEncode(const EncoderSettings& settings, const EncodePaths& paths,
                           std::string_view programDir);

/// The audio Encode button: the WAV extraction into the name derived from the audio destination,
/// which is deleted first. Refused when the source is the destination or the derived WAV file.
/// A started job saves the settings twice, once in automatic mode.
EncodePlan PlanAudioEncode(const EncoderSettings& settings, const EncodePaths& paths,
                           std::string_view programDir, bool automaticMode);

/// The hidden Test button's encode of the source into the video destination ("-y"). It saves
/// nothing and needs no frame rate; it is refused when the destination is the source (also
/// through another spelling) or a path is unusable.
EncodePlan PlanTestEncode(const EncoderSettings& settings, const EncodePaths& paths,
                          std::string_view programDir);

}  // namespace vexlo::encode
