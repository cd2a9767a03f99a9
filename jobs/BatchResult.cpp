#include "jobs/BatchResult.h"

#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

namespace vexlo::jobs {

namespace {

constexpr ItemState kStates[] = {ItemState::kDone, ItemState::kFailed, ItemState::kSkipped,
                                 ItemState::kNotStarted};

// Seconds to the millisecond: the JSON then holds "3.02", not "3.0199999999999996".
double Rounded(double seconds) {
  return std::round(seconds * 1000) / 1000;
}

nlohmann::json Seconds(const std::optional<double>& seconds) {
  return seconds ? nlohmann::json(Rounded(*seconds)) : nlohmann::json(nullptr);
}

// The figures as JSON members. An infinite PSNR (every frame identical) has no JSON number: null.
void AddQuality(nlohmann::ordered_json& object, const QualityFigures& figures) {
  object["ssim"] = figures.ssim;
  object["ssim_y"] = figures.ssimY;
  object["ssim_u"] = figures.ssimU;
  object["ssim_v"] = figures.ssimV;
  object["psnr"] = std::isfinite(figures.psnr) ? nlohmann::ordered_json(figures.psnr)
                                               : nlohmann::ordered_json(nullptr);
  object["frames"] = figures.frames;
  object["source_frames"] = figures.sourceFrames;
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
  AddQuality(object, figures);
  return Dumped(object);
}

std::string_view StateWord(ItemState state) {
  switch (state) {
    case ItemState::kDone:
      return "done";
    case ItemState::kFailed:
      return "failed";
    case ItemState::kSkipped:
      return "skipped";
    case ItemState::kNotStarted:
      break;
  }
  return "not started";
}

std::string ResultJson(const ItemResult& result) {
  nlohmann::ordered_json object;
  object["source"] = result.source;
  object["output"] = result.output;
  object["state"] = StateWord(result.state);
  object["reason"] = result.reason;
  object["seconds"] = Rounded(result.seconds);
  object["source_duration"] = Seconds(result.sourceSeconds);
  object["output_duration"] = Seconds(result.outputSeconds);
  if (result.index) object["index"] = *result.index;
  if (!result.commandLine.empty()) object["command_line"] = result.commandLine;
  if (result.quality) {
    nlohmann::ordered_json quality;  // null unless measured
    if (result.quality->figures) AddQuality(quality, *result.quality->figures);
    object["quality"] = std::move(quality);
  }
  return Dumped(object);
}

std::string ResultLogLine(const ItemResult& result, std::size_t number, std::size_t count) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f", result.seconds);
  std::string line = "##### BATCH " + std::to_string(number) + "/" + std::to_string(count) + " " +
                     std::string(StateWord(result.state)) + ": " + result.source + " -> " +
                     result.output;
  if (result.state != ItemState::kNotStarted && result.state != ItemState::kSkipped) {
    line += " (" + std::string(seconds) + " s)";
  }
  std::string reason = result.reason;
  if (const std::optional<QualityResult>& measured = result.quality) {
    const std::string why = measured->stopped ? "the batch was interrupted" : measured->failure;
    const std::string quality = measured->figures ? QualityText(*measured->figures)
                                                  : "quality not measured: " + why;
    reason += (reason.empty() ? "" : "; ") + quality;
  }
  if (!reason.empty()) line += ": " + reason;
  return line + " ######\r\n";
}

std::string SummaryLogLine(const std::vector<ItemResult>& results) {
  std::string line = "##### BATCH END:";
  for (ItemState state : kStates) {
    std::size_t count = 0;
    for (const ItemResult& result : results) count += result.state == state ? 1 : 0;
    line += (state == kStates[0] ? " " : ", ") + std::to_string(count) + " " +
            std::string(StateWord(state));
  }
  return line + " ######\r\n";
}

int BatchExitStatus(const std::vector<ItemResult>& results, bool stopped) {
  if (stopped) return 130;
  for (const ItemResult& result : results) {
    if (result.state == ItemState::kFailed) return 1;
  }
  return 0;
}

}  // namespace vexlo::jobs
