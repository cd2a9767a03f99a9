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

// What the plan needs of the source: its length, the time its first packet carries (the
// tools' -ss counts from there, the prober's packet times do not) and its picture's width.
struct SourceFacts {
  double seconds = 0;  // 0: unknown
  double startTime = 0;
  int width = 0;  // 0: unknown
};

/// The prober's command line for the source's facts ("width=", "start_time=", "duration=").
std::string SourceFactsCommandLine(std::string_view programDir, std::string_view source);
SourceFacts ReadSourceFacts(std::string_view proberLines);

/// The prober's command line listing the key frames near each span: the first video packet
/// where a seek lands ("-read_intervals POINT%+#1") for points from the span's planned start
/// onwards, as far as the span still fits in its own share of the source: the key frame before
/// each point for a demuxer with an index ("12.000000,K_"); any packet for one that seeks by
/// bytes.
std::string KeyFrameCommandLine(std::string_view programDir, std::string_view source,
                                const SamplePlan& plan, double sourceSeconds, double startTime);

/// Moves each span to just after the key frame nearest to its planned start (`packets`: the
/// prober's lines of KeyFrameCommandLine), among those that keep it in its own share of the
/// source, so that the cut decodes a few frames before each span instead of up to a whole GOP;
/// a span with no such key frame stays where it is.
void StartAtKeyFrames(SamplePlan& plan, double sourceSeconds, double startTime,
                      std::string_view packets);

/// The command line that cuts the spans of `source` and joins them, in order, into `reference`
/// (lossless in Matroska, the source's own pixel format and size: ffvhuff, or FFV1 for an odd
/// or unknown width, which ffvhuff refuses in subsampled formats): each span is an input of its
/// own, "-ss START -t LENGTH -i SOURCE", which FFmpeg decodes from the key frame before START
/// and drops up to START exactly; the concat filter joins the video streams.
std::string SampleCutCommandLine(std::string_view programDir, std::string_view source,
                                 const SamplePlan& plan, std::string_view reference, int width);

/// The bytes the whole encode would take, `scale` times as long as the samples
/// (`sampleSeconds`), from their own statistics by frame type (x264's "frame I:3     Avg
/// QP:27.23  size: 26697", and P and B; x265's "frame I:      2, Avg QP:24.05  kb/s: 497.80",
/// a frame's bits times the frame rate): the joins of the samples' spans make key frames the
/// whole encode does not have, and a key frame costs many times another, so key frames count at
/// one every `gop` frames (more when the samples had more than one per span of their own), the
/// other frames for the rest. Nothing without those statistics (the hardware encoders); the
/// caller then scales the samples' bytes.
std::optional<double> PredictedBytes(std::string_view encoderLines, double sampleSeconds,
                                     double scale, int gop, int spans);

/// The GOP a command line asks with " -g N"; x264's default (250) without one.
int GopOf(std::string_view commandLine);

/// "12.3" seconds as the tools take them: milliseconds at most, no exponent.
std::string SecondsText(double seconds);

}  // namespace vexlo::jobs
