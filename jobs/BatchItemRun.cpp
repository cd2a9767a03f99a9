#include "jobs/BatchItemRun.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>

#include "analysis/InputReport.h"
#include "encode/AudioExtraction.h"
#include "encode/EncodeRequest.h"
#include "encode/PngPattern.h"
#include "jobs/BatchSchedule.h"
#include "jobs/ConformanceCheck.h"
#include "jobs/OutputPlacement.h"
#include "platform/FileOperations.h"
#include "platform/Paths.h"
#include "platform/SystemError.h"
#include "process/LogTexts.h"
#include "process/OutputLines.h"
#include "process/ToolRun.h"

namespace vexlo::jobs {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kTimeMarker = "time=";

// The text of one of the system's log lines, without its "##### ERROR: " and " ######" frame.
std::string FramedText(std::string_view line) {
  while (!line.empty() &&
         (line.back() == '\n' || line.back() == '\r' || line.back() == '#' || line.back() == ' ')) {
    line.remove_suffix(1);
  }
  for (std::string_view frame : {"##### ", "ERROR: ", "REASON: "}) {
    if (line.starts_with(frame)) line.remove_prefix(frame.size());
  }
  return std::string(line);
}

// Why the path cannot be read as a source, or nothing.
std::optional<std::string> SourceProblem(const std::string& path) {
  const platform::PathInfo info = platform::LookAt(path);
  if (info.kind == platform::PathKind::kMissing) {
    return "cannot read the source: " + platform::ErrorText(info.error);
  }
  if (info.kind == platform::PathKind::kFolder) return "the source is a folder";
  if (const int error = platform::CanRead(path)) {
    return "cannot read the source: " + platform::ErrorText(error);
  }
  return std::nullopt;
}

bool Exists(const std::string& path) {
  return platform::LookAt(path).kind != platform::PathKind::kMissing;
}


// The tool's command line: the option form's encode with the temporary name as destination, or
// the audio row's extraction. Its refusal otherwise.
std::optional<std::string> CommandLineFor(const BatchItem& item, const BatchRequest& request,
                                          std::string& commandLine) {
  if (request.audio) {
    for (const std::string* path : {&item.sourcePath, &item.temporaryPath}) {
      if (!platform::PathIsSafeForCommandLine(*path)) {
        return FramedText(process::text::UnusablePath(*path));
      }
    }
    commandLine = encode::ExtractWav(request.programDir, item.sourcePath, item.temporaryPath);
    return std::nullopt;
  }
  encode::EncoderSettings settings = request.settings;
  settings.useReport = settings.useReport && request.report;
  const encode::EncodePlan plan = encode::PlanVideoEncode(
      settings, {item.sourcePath, item.temporaryPath, {}}, request.programDir);
  if (!plan.start) return FramedText(plan.errorLine);
  commandLine = plan.commandLine;
  return std::nullopt;
}

class ItemRun {
 public:
  ItemRun(const BatchItem& item, const BatchRun& run) : item_(item), run_(run) {
    result_.source = item.source;
    result_.output = item.output;
  }

  ItemResult Run();

 private:
  ItemResult& End(ItemState state, std::string reason) {
    result_.state = state;
    result_.reason = std::move(reason);
    result_.seconds = std::chrono::duration<double>(Clock::now() - started_).count();
    return result_;
  }
  ItemResult& Stopped() {
    [[maybe_unused]] const int removed = platform::DeleteFile(item_.temporaryPath);
    return End(ItemState::kCancelled, {});
  }
  // The item's files under the one output rule; its incomplete name is never one of the
  // batch's sources.
  OutputFiles Files() const {
    bool mayKeep = true;
    for (const BatchItem& other : run_.items) {
      mayKeep = mayKeep && !platform::SameFile(other.sourcePath, item_.incompletePath);
    }
    return {item_.temporaryPath, item_.outputPath, item_.incompletePath, item_.output, mayKeep};
  }
  // A progress line's "time=" as a share of the source's duration.
  void Progressed(std::string_view line, std::int64_t sourceMs) {
    const auto at = line.find(kTimeMarker);
    if (!run_.output.progress || sourceMs <= 0 || at == line.npos) return;
    if (const auto ms = process::ReadClockMilliseconds(line.substr(at + kTimeMarker.size()))) {
      run_.output.progress(100.0 * static_cast<double>(*ms) / static_cast<double>(sourceMs),
                           static_cast<double>(sourceMs) / 1000);
    }
  }
  bool Log(std::string_view line) {
    if (run_.output.log) run_.output.log(line);
    return true;
  }

  const BatchItem& item_;
  const BatchRun& run_;
  ItemResult result_;
  Clock::time_point started_ = Clock::now();
};

ItemResult ItemRun::Run() {
  const BatchRequest& request = run_.request;
  if (Exists(item_.outputPath) && request.existing != ExistingOutput::kOverwrite) {
    if (request.existing == ExistingOutput::kSkip)
      return End(ItemState::kSkipped, "the output exists");
    return End(ItemState::kFailed,
               "the output exists (--skip-existing skips such items, --overwrite replaces them)");
  }
  if (auto problem = SourceProblem(item_.sourcePath)) return End(ItemState::kFailed, *problem);
  if (platform::SameFile(item_.sourcePath, item_.outputPath)) {
    return End(ItemState::kFailed, "the output would replace its source");
  }
  std::string commandLine;
  if (auto refusal = CommandLineFor(item_, request, commandLine)) {
    return End(ItemState::kFailed, *refusal);
  }
  if (run_.threads > 0) {
    // A WAV extraction's encoder has no threads to bound: its decoder alone is.
    const bool x265 = request.settings.outType != 0 && request.settings.gpuType == 0;
    commandLine = WithThreads(commandLine, request.audio ? std::string() : item_.temporaryPath,
                              run_.threads, x265 && !request.audio);
  }
  result_.commandLine = commandLine;
  [[maybe_unused]] const int stale = platform::DeleteFile(item_.temporaryPath);
  Log(process::text::CommandLineLine(commandLine));
  process::SourceDuration source;
  analysis::InputReport input;
  const process::ToolEnd end = process::RunTool(
      commandLine, request.programDir,
      [&](std::string_view line) {
        source.Read(line);
        input.Read(line);
        Progressed(line, source.load());
        return process::IsReportLine(line) && Log(std::string(line) + "\r\n");
      },
      run_.stop.watch(),
      request.lowPriority ? platform::ChildPriority::kLow : platform::ChildPriority::kNormal);
  if (run_.toolEnded) run_.toolEnded();
  std::optional<std::int64_t> sourceMs;  // none for a source of unknown duration ("N/A")
  if (source.load() > 0) sourceMs = source.load();
  if (sourceMs) result_.sourceSeconds = static_cast<double>(*sourceMs) / 1000;
  switch (end.outcome) {
    case process::JobOutcome::kCancelled:
      return Stopped();
    case process::JobOutcome::kFailed:
      for (const std::string& line : process::ReasonLines(end.reason)) Log(line);
      return End(ItemState::kFailed, end.ReasonText() + KeepIncomplete(Files()));
    case process::JobOutcome::kFinished:
      break;
  }
  // A PNG sequence's or a stream's length is not known: such an output is not read back.
  if (encode::IsPngSequenceSource(item_.sourcePath)) sourceMs.reset();
  const auto asked = ConformanceRequestFor(request.settings, commandLine, item_.sourcePath);
  const CheckAids aids{RawCodecOf(request.settings), input.Video()};
  const Placement placement =
      CheckAndPlace(Files(), {request.programDir, item_.sourcePath, sourceMs, request.audio, aids},
                    &run_.stop.watch(), request.audio ? nullptr : &asked);
  if (placement.outcome == process::JobOutcome::kCancelled) return Stopped();
  result_.outputSeconds = placement.outputSeconds;
  if ((result_.conformance = placement.conformance)) {
    for (const std::string& line : analysis::ConformanceWarnings(*result_.conformance)) Log(line);
  }
  return End(StateAfter(placement.outcome), placement.reason);
}

}  // namespace

ItemResult RunBatchItem(const BatchItem& item, const BatchRun& run) {
  return ItemRun(item, run).Run();
}

QualityResult MeasureItem(const BatchItem& item, const BatchRequest& request,
                          const BatchStop& stop) {
  const encode::EncoderSettings& s = request.settings;
  return MeasureQuality({item.source, item.output, item.sourcePath, item.outputPath, s.fps,
                         s.resize, s.deinterlace, request.programDir},
                        stop.watch());
}

}  // namespace vexlo::jobs
