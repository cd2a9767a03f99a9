#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The samples a prediction is made from: short spans spread over the whole source, cut from an
// exact start (decoded, never copied from a key frame) and joined into one lossless reference
// clip, which the encode's own command line then encodes as it would encode the source.
namespace vexlo::jobs {

// One span of the source, in seconds.
struct SampleSpan {
  double start = 0;
  double length = 0;
};

// Where the samples lie. Without spans the whole source is the sample.
struct SamplePlan {
  std::vector<SampleSpan> spans;
  double seconds = 0;  // the samples' total length (the source's, for the whole source)
  bool wholeSource() const { return spans.empty(); }
};

/// The samples of a source of `sourceSeconds`: 3 spans up to 2 minutes, one more for each 40 s
/// beyond, at most 6; together about 4 % of the source, each 1.5 to 4 s long. Each span
/// is centred in its own equal share of the source (so the first and last shares' content is
/// seen too), and none runs past the end. A source no longer than the spans' total, or of unknown
/// length (0 or less), is its own sample.
SamplePlan PlanSamples(double sourceSeconds);

/// The command line that cuts the spans of `source` and joins them, in order, into `reference`
/// (FFV1 in Matroska: lossless, the source's own pixel format and size): each span is an input
/// of its own, "-ss START -t LENGTH -i SOURCE", which FFmpeg decodes from the key frame before
/// START and drops up to START exactly; the concat filter joins the video streams.
std::string SampleCutCommandLine(std::string_view programDir, std::string_view source,
                                 const SamplePlan& plan, std::string_view reference);

/// The bytes the whole encode would take, `scale` times as long as the samples, from their own
/// statistics by frame type (x264's "frame I:3     Avg QP:27.23  size: 26697", and P and B):
/// the joins of the samples' spans make key frames the whole encode does not have, and a key
/// frame costs many times another, so key frames count at one every `gop` frames (more when the
/// samples had more than one per span of their own), the other frames for the rest. Nothing
/// without those statistics (x265 reports rates, not sizes); the caller then scales the samples'
/// bytes.
std::optional<double> PredictedBytes(std::string_view encoderLines, double scale, int gop,
                                     int spans);

/// The GOP a command line asks with " -g N"; x264's default (250) without one.
int GopOf(std::string_view commandLine);

/// "12.3" seconds as the tools take them: milliseconds at most, no exponent.
std::string SecondsText(double seconds);

}  // namespace vexlo::jobs
