#include "jobs/BatchResult.h"

#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "jobs/JobKinds.h"
#include "jobs/ConformanceJson.h"
#include "jobs/QualityJson.h"

namespace vexlo::jobs {

namespace {

// The results' words in the summary's order.
constexpr std::string_view kWords[] = {"done", "failed", "skipped", "not started"};
constexpr std::string_view kInterrupted = "the batch was interrupted";

// The reason the results give: a cancelled item's is the batch's stop.
std::string ReasonOf(const ItemResult& result) {
  if (result.state != ItemState::kCancelled) return result.reason;
  return "stopped before its end: " + std::string(kInterrupted);
}

// Seconds to the millisecond: the JSON then holds "3.02", not "3.0199999999999996".
double Rounded(double seconds) {
  return std::round(seconds * 1000) / 1000;
}

nlohmann::json Seconds(const std::optional<double>& seconds) {
  return seconds ? nlohmann::json(Rounded(*seconds)) : nlohmann::json(nullptr);
}

std::string Dumped(const nlohmann::ordered_json& object) {
  return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

std::string QualityText(const QualityFigures& f) {
  char psnr[32] = "inf";
  if (std::isfinite(f.psnr)) std::snprintf(psnr, sizeof psnr, "%.2f", f.psnr);
  char text[160];
  std::snprintf(text, sizeof text,
                "SSIM %.5f (Y %.4f U %.4f V %.4f), PSNR %s dB, %lld of %lld frames", f.ssim,
                f.ssimY, f.ssimU, f.ssimV, psnr, static_cast<long long>(f.frames),
                static_cast<long long>(f.sourceFrames));
  return text;
}

std::string QualityJson(const std::string& source, const std::string& output,
                        const QualityFigures& figures) {
  nlohmann::ordered_json object;
  object["source"] = source;
  object["output"] = output;
  AddQualityMembers(object, figures);
  return Dumped(object);
}

std::string_view BatchStateWord(ItemState state) {
  switch (state) {
    case ItemState::kDone:
      return kWords[0];
    case ItemState::kFailed:
    case ItemState::kCancelled:
      return kWords[1];
    case ItemState::kSkipped:
      return kWords[2];
    case ItemState::kWaiting:
    case ItemState::kRunning:
      break;
  }
  return kWords[3];
}

std::string ResultJson(const ItemResult& result) {
  nlohmann::ordered_json object;
  object["source"] = result.source;
  object[KindRow(JobKind::kEncode).jsonKey] = result.output;
  object["state"] = BatchStateWord(result.state);
  object["reason"] = ReasonOf(result);
  object["seconds"] = Rounded(result.seconds);
  object["source_duration"] = Seconds(result.sourceSeconds);
  object["output_duration"] = Seconds(result.outputSeconds);
  if (result.index) object["index"] = *result.index;
  if (!result.commandLine.empty()) object["command_line"] = result.commandLine;
  if (result.quality) {
    nlohmann::ordered_json quality;  // null unless measured
    if (result.quality->figures) AddQualityMembers(quality, *result.quality->figures);
    object[KindRow(JobKind::kQuality).jsonKey] = std::move(quality);
  }
  if (result.conformance) object["conformance"] = ConformanceJson(*result.conformance);
  if (result.target) {
    object["quality_target"] = nlohmann::ordered_json::parse(TargetJson(*result.target));
  }
  return Dumped(object);
}

std::string ResultLogLine(const ItemResult& result, std::size_t number, std::size_t count) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f", result.seconds);
  std::string line = "##### BATCH " + std::to_string(number) + "/" + std::to_string(count) + " " +
                     std::string(BatchStateWord(result.state)) + ": " + result.source + " -> " +
                     result.output;
  if (HasEnded(result.state) && result.state != ItemState::kSkipped) {
    line += " (" + std::string(seconds) + " s)";
  }
  std::string reason = ReasonOf(result);
  if (const std::optional<QualityResult>& measured = result.quality) {
    const std::string why = measured->stopped ? std::string(kInterrupted) : measured->failure;
    const std::string quality = measured->figures ? QualityText(*measured->figures)
                                                  : "quality not measured: " + why;
    reason += (reason.empty() ? "" : "; ") + quality;
  }
  if (!reason.empty()) line += ": " + reason;
  return line + " ######\r\n";
}

std::string SummaryLogLine(const std::vector<ItemResult>& results) {
  std::string line = "##### BATCH END:";
  for (std::string_view word : kWords) {
    std::size_t count = 0;
    for (const ItemResult& result : results) count += BatchStateWord(result.state) == word;
    line += (word == kWords[0] ? " " : ", ") + std::to_string(count) + " " + std::string(word);
  }
  return line + " ######\r\n";
}

int BatchExitStatus(const std::vector<ItemResult>& results, bool stopped) {
  if (stopped) return 130;
  for (const ItemResult& result : results) {
    if (BatchStateWord(result.state) == kWords[1]) return 1;  // failed as the results say
  }
  return 0;
}

}  // namespace vexlo::jobs
