#include "jobs/TargetReport.h"

#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

namespace vexlo::jobs {

namespace {

// `value` to `places` decimals; the JSON then holds "11.37", not "11.370000000000001".
double Rounded(double value, int places) {
  const double scale = std::pow(10.0, places);
  return std::round(value * scale) / scale;
}

nlohmann::ordered_json Maybe(const std::optional<double>& value, int places) {
  return value ? nlohmann::ordered_json(Rounded(*value, places)) : nlohmann::ordered_json(nullptr);
}

std::string Dumped(const nlohmann::ordered_json& object) {
  return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

TargetRecord RecordOf(double target, const SampleOutcome& outcome) {
  const Estimate& e = *outcome.estimate;
  TargetRecord record;
  record.targetSsim = target;
  record.position = e.point.position;
  record.predictedSsim = e.point.ssim;
  record.predictedBytes = e.point.predictedBytes;
  record.predictedSeconds = e.point.predictedSeconds;
  record.searchSeconds = e.searchSeconds;
  record.probes = static_cast<int>(outcome.probes.size());
  return record;
}

std::string EstimateText(const std::string& source, const Estimate& e) {
  char text[200];
  std::snprintf(text, sizeof text,
                ": predicted %.1f MB (%.0f bytes), %.1f s to encode, SSIM %.5f at CRF %d "
                "(position %d), from %.1f s of samples",
                e.point.predictedBytes / 1e6, e.point.predictedBytes, e.point.predictedSeconds,
                e.point.ssim, CrfOfPosition(e.point.position), e.point.position, e.sampleSeconds);
  return source + text;
}

std::string EstimateJson(const std::string& source, const Estimate& e) {
  nlohmann::ordered_json object;
  object["source"] = source;
  object["predicted_bytes"] = std::llround(e.point.predictedBytes);
  object["predicted_seconds"] = Rounded(e.point.predictedSeconds, 2);
  object["predicted_ssim"] = Rounded(e.point.ssim, 5);
  object["crf"] = CrfOfPosition(e.point.position);
  object["position"] = e.point.position;
  return Dumped(object);
}

std::string TargetText(const TargetRecord& r) {
  char text[300];
  int used = std::snprintf(text, sizeof text,
                           "target SSIM %.3f: position %d (CRF %d), predicted SSIM %.5f and %.0f "
                           "bytes",
                           r.targetSsim, r.position, CrfOfPosition(r.position), r.predictedSsim,
                           r.predictedBytes);
  if (r.measuredSsim && r.measuredBytes && used > 0) {
    used += std::snprintf(text + used, sizeof text - used, ", measured SSIM %.5f and %.0f bytes",
                          *r.measuredSsim, *r.measuredBytes);
  }
  if (used > 0) {
    std::snprintf(text + used, sizeof text - used, ", search %.1f s over %d position%s",
                  r.searchSeconds, r.probes, r.probes == 1 ? "" : "s");
  }
  return text;
}

std::string TargetJson(const TargetRecord& r) {
  nlohmann::ordered_json object;
  object["target_ssim"] = r.targetSsim;
  object["position"] = r.position;
  object["crf"] = CrfOfPosition(r.position);
  object["predicted_ssim"] = Rounded(r.predictedSsim, 5);
  object["predicted_bytes"] = std::llround(r.predictedBytes);
  object["predicted_seconds"] = Rounded(r.predictedSeconds, 2);
  object["measured_ssim"] = Maybe(r.measuredSsim, 5);
  object["measured_bytes"] = r.measuredBytes ? nlohmann::ordered_json(std::llround(*r.measuredBytes))
                                            : nlohmann::ordered_json(nullptr);
  object["encode_seconds"] = Maybe(r.encodeSeconds, 2);
  object["search_seconds"] = Rounded(r.searchSeconds, 2);
  object["probes"] = r.probes;
  return Dumped(object);
}

}  // namespace vexlo::jobs
