#include "jobs/ConformanceCheck.h"

#include <charconv>
#include <cmath>

#include "analysis/OutputLength.h"
#include "encode/OptionTables.h"
#include "encode/PngPattern.h"
#include "process/CommandLineBuilder.h"
#include "process/ToolRun.h"

namespace vexlo::jobs {

namespace {

namespace tables = encode::tables;

// "720x486" as a size; nothing for any other text.
std::optional<analysis::PictureSize> SizeOf(std::string_view text) {
  analysis::PictureSize size;
  const char* end = text.data() + text.size();
  const auto [x, widthError] = std::from_chars(text.data(), end, size.width);
  if (widthError != std::errc() || x == end || *x != 'x') return std::nullopt;
  const auto [last, heightError] = std::from_chars(x + 1, end, size.height);
  if (heightError != std::errc() || last != end) return std::nullopt;
  return size;
}

std::optional<double> RateOf(std::string_view text) {
  double rate = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), rate);
  if (error != std::errc() || end != text.data() + text.size() || !(rate > 0)) return std::nullopt;
  return rate;
}

}  // namespace

analysis::ConformanceRequest ConformanceRequestFor(const encode::EncoderSettings& settings,
                                                   std::string_view commandLine,
                                                   std::string_view source) {
  const bool png = encode::IsPngSequenceSource(source);
  const bool h264 = encode::OutputTypeOf(settings.outType) == encode::OutputType::kH264;
  analysis::ConformanceRequest request;
  request.frames = !png;
  if (!png) request.frameRate = RateOf(tables::FrameRate(settings.fps));
  // Only the H.264 video encode knows the 16th size.
  const auto resize =
      tables::Resize(settings.resize, h264 && !png ? tables::ResizeRange::kWithPosition15
                                                   : tables::ResizeRange::kListOnly);
  if (resize) request.size = SizeOf(resize->size);
  request.pixelFormat = process::LastOptionValue(commandLine, " -pix_fmt ");
  if (h264) request.profile = std::string(tables::ProfileWord(settings.profile).substr(1));
  if (settings.shortGop && !png) request.longestGop = kShortGopFrames;
  return request;
}

std::optional<analysis::RawCodec> RawCodecOf(const encode::EncoderSettings& settings) {
  switch (encode::OutputTypeOf(settings.outType)) {
    case encode::OutputType::kH264:
      return analysis::RawCodec::kH264;
    case encode::OutputType::kH265:
      return analysis::RawCodec::kH265;
    case encode::OutputType::kMpv:
      break;
  }
  return std::nullopt;
}

CheckStop::CheckStop() {
  // Without its pipe the check cannot be stopped, and ends by itself after its short reads.
  [[maybe_unused]] const int failed =
      platform::MakePipe(pipe_, platform::PipeBlocking::kNeitherBlocks);
}

void CheckStop::Request() {
  if (pipe_.write.valid()) platform::SignalWakeUp(pipe_.write);
}

process::ToolEnd ReadReport(const std::string& commandLine, const std::string& programDir,
                            std::string& report, const platform::UniqueFd* stop) {
  const process::ToolLineSink keep = [&report](std::string_view line) {
    report.append(line).push_back('\n');
    return false;
  };
  return stop ? process::RunTool(commandLine, programDir, keep, *stop)
              : process::RunTool(commandLine, programDir, keep);
}

ReadBack ReadOutputBack(const std::string& programDir, const std::string& path,
                        std::optional<analysis::RawCodec> raw,
                        const analysis::ConformanceRequest* request,
                        const platform::UniqueFd* stop) {
  ReadBack back;
  if (raw) {
    const auto reading = analysis::ReadRawStream(path, *raw, request && request->longestGop > 0);
    if (reading && reading->video.frames && reading->frameRate) {
      back.end.outcome = process::JobOutcome::kFinished;
      back.lengthMs = std::llround(static_cast<double>(*reading->video.frames) * 1000 /
                                   *reading->frameRate);
      if (request) back.video = reading->video;
      return back;
    }
  }
  const std::string commandLine =
      request ? analysis::OutputVideoCommandLine(programDir, path, request->longestGop > 0)
              : analysis::OutputLengthCommandLine(programDir, path);
  std::string report;
  back.end = ReadReport(commandLine, programDir, report, stop);
  if (!back.end.finished()) return back;
  back.lengthMs = analysis::ReadOutputLength(report);
  if (request) back.video = analysis::ReadOutputVideo(report);
  return back;
}

ConformanceRun CompareWithSource(const analysis::ConformanceRequest& request,
                                 const std::string& programDir, const std::string& source,
                                 const analysis::OutputVideo& output,
                                 const std::optional<analysis::SourceVideo>& reported,
                                 const platform::UniqueFd* stop) {
  ConformanceRun run;
  run.outcome = process::JobOutcome::kFinished;
  // The encode's report rounds and names the file's longest stream: a match with it is one,
  // a difference is read again from the header before it is told.
  if (reported) {
    run.report = analysis::CompareOutput(request, *reported, output);
    if (run.report.ok()) return run;
  }
  std::string sourceReport;
  // A size or frame count kept from the source needs its header.
  if (request.frames || !request.size) {
    const process::ToolEnd end = ReadReport(analysis::SourceVideoCommandLine(programDir, source),
                                            programDir, sourceReport, stop);
    if (!end.finished()) {
      run.outcome = end.outcome;
      run.reason = "the source cannot be read: " + end.ReasonText();
      return run;
    }
  }
  run.report = analysis::CompareOutput(request, analysis::ReadSourceVideo(sourceReport), output);
  return run;
}

ConformanceRun CheckConformance(const analysis::ConformanceRequest& request,
                                const std::string& programDir, const std::string& source,
                                const std::string& output, const CheckAids& aids,
                                const platform::UniqueFd* stop) {
  const ReadBack back = ReadOutputBack(programDir, output, aids.raw, &request, stop);
  if (!back.end.finished()) {
    ConformanceRun run;
    run.outcome = back.end.outcome;
    run.reason = "the output cannot be read back: " + back.end.ReasonText();
    return run;
  }
  return CompareWithSource(request, programDir, source, back.video, aids.reported, stop);
}

std::vector<std::string> ConformanceLines(const ConformanceRun& run) {
  switch (run.outcome) {
    case process::JobOutcome::kCancelled:
      return {};
    case process::JobOutcome::kFailed:
      return {"##### WARNING: The output was not checked against its request: " + run.reason +
              " ######\r\n"};
    case process::JobOutcome::kFinished:
      break;
  }
  return analysis::ConformanceWarnings(run.report);
}

}  // namespace vexlo::jobs
