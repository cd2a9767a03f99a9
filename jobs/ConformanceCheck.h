#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/Conformance.h"
#include "analysis/RawStream.h"
#include "encode/EncoderSettings.h"
#include "platform/FileDescriptor.h"
#include "process/RunEnd.h"

// The check of every video encode's output against its request, after the tool has ended: the
// request made from the encode's settings and command line, and the prober runs that read the
// output's packets and the source's header (analysis/Conformance compares what they report).
// The window's conversion runs the whole check at its end and logs what differs; the batch, the
// queue and the option form read the output back once for its length and this check together
// (jobs/OutputPlacement).
namespace vexlo::jobs {

/// The GOP a short GOP asks for: the builders' " -g 8".
inline constexpr int kShortGopFrames = 8;

/// What a video encode with `settings` of `source` asks of its output: the source's frames at
/// the Force FPS rate (not for a PNG sequence, whose frames no header counts), the Video Resize
/// size (else the source's), the pixel format of the command line's last "-pix_fmt", the H.264
/// profile of the profile list, and with Short GOP (not for a PNG sequence, whose builders have
/// no GOP piece) at most kShortGopFrames frames from one key frame to the next.
analysis::ConformanceRequest ConformanceRequestFor(const encode::EncoderSettings& settings,
                                                   std::string_view commandLine,
                                                   std::string_view source);

/// The codec of the raw stream an encode with `settings` writes; nothing for MPV (an MP4 file,
/// which the prober reads).
std::optional<analysis::RawCodec> RawCodecOf(const encode::EncoderSettings& settings);

/// How a check went: finished (the report holds what was compared), failed (a prober run failed:
/// the reason says why) or cancelled (the stop came).
struct ConformanceRun {
  process::JobOutcome outcome = process::JobOutcome::kFailed;
  std::string reason;
  analysis::ConformanceReport report;
};

/// What spares the check a prober run: the codec of a raw stream this program reads itself
/// (analysis/RawStream), and the source as the encode's own report of its input gave it
/// (analysis/InputReport).
struct CheckAids {
  std::optional<analysis::RawCodec> raw;
  std::optional<analysis::SourceVideo> reported;
};

/// An output read back once, for its length and its check.
struct ReadBack {
  process::ToolEnd end;                   // the prober's end; finished when read in-process
  std::optional<std::int64_t> lengthMs;   // nothing when the read-back gives no length
  analysis::OutputVideo video;            // only with a request
};

/// Reads the output at `path` back: a raw stream of `raw` in-process when the reader is sure of
/// it, else with the prober, the packets when there is a `request` (see
/// analysis::OutputVideoCommandLine), else only the length. `stop`, when given, ends the prober.
ReadBack ReadOutputBack(const std::string& programDir, const std::string& path,
                        std::optional<analysis::RawCodec> raw,
                        const analysis::ConformanceRequest* request,
                        const platform::UniqueFd* stop);

/// Compares `output` and the source with the request. The source as its encode reported it
/// (`reported`) is taken when the output matches it; otherwise, or without one, the source's
/// header is read with the prober, and only what that header gives is reported. `stop`, when
/// given, ends the read.
ConformanceRun CompareWithSource(const analysis::ConformanceRequest& request,
                                 const std::string& programDir, const std::string& source,
                                 const analysis::OutputVideo& output,
                                 const std::optional<analysis::SourceVideo>& reported,
                                 const platform::UniqueFd* stop = nullptr);
/// Reads the output back (ReadOutputBack), then as CompareWithSource.
ConformanceRun CheckConformance(const analysis::ConformanceRequest& request,
                                const std::string& programDir, const std::string& source,
                                const std::string& output, const CheckAids& aids,
                                const platform::UniqueFd* stop = nullptr);

/// The stop of the window's check: the window's thread asks for it before it closes the
/// conversion's runner, whose end runs the check. Readable once asked for.
class CheckStop {
 public:
  CheckStop();
  CheckStop(const CheckStop&) = delete;
  CheckStop& operator=(const CheckStop&) = delete;
  void Request();
  /// What the check's prober runs watch; null when the pipe could not be made.
  const platform::UniqueFd* watch() const { return pipe_.read.valid() ? &pipe_.read : nullptr; }

 private:
  platform::Pipe pipe_;
};

/// What the window's conversion checks at its end: the request, the source, and its stop.
struct WindowCheck {
  analysis::ConformanceRequest request;
  std::string source;
  std::optional<analysis::RawCodec> raw;  // the output is a raw stream of this codec
  std::shared_ptr<CheckStop> stop = std::make_shared<CheckStop>();
};

/// Runs one prober command line and keeps its report; the run's end.
process::ToolEnd ReadReport(const std::string& commandLine, const std::string& programDir,
                            std::string& report, const platform::UniqueFd* stop);

/// The log lines of a check: one warning per fact that differs, or one saying why the output
/// could not be checked; nothing for a check that was stopped or found everything as asked.
std::vector<std::string> ConformanceLines(const ConformanceRun& run);

}  // namespace vexlo::jobs
