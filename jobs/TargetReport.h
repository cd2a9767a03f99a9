#pragma once

#include <optional>
#include <string>

#include "jobs/QualityTarget.h"

// The predictions and a target's choice as the presenters give them: one line and one JSON
// object each.
namespace vexlo::jobs {

// A target's choice, and once the whole file is encoded what it reached.
struct TargetRecord {
  double targetSsim = 0;
  int position = 0;  // in the "CRF (3=Best)" list
  double predictedSsim = 0;
  double predictedBytes = 0;
  double predictedSeconds = 0;
  double searchSeconds = 0;
  int probes = 0;                        // positions the samples were encoded at
  std::optional<double> measuredSsim;    // of the whole encode, when measured
  std::optional<double> measuredBytes;   // the whole encode's size
  std::optional<double> encodeSeconds;   // the whole encode's time
};

/// The record of a search's outcome (its estimate must be there).
TargetRecord RecordOf(double target, const SampleOutcome& outcome);

/// "SOURCE: predicted 12.3 MB (12345678 bytes), 23.4 s to encode, SSIM 0.97123 at CRF 18
/// (position 9), from 4 samples of 1.500 s"
std::string EstimateText(const std::string& source, const Estimate& estimate);

/// {"source","predicted_bytes","predicted_seconds","predicted_ssim","crf","position"} on one line.
std::string EstimateJson(const std::string& source, const Estimate& estimate);

/// "target SSIM 0.970: position 12 (CRF 25), predicted SSIM 0.97123 and 12345678 bytes,
/// measured SSIM 0.97301 and 12000000 bytes, search 4.1 s over 3 positions"
std::string TargetText(const TargetRecord& record);

/// The object `quality_target`: target_ssim, position, crf (the value the encoder got),
/// predicted_ssim, predicted_bytes, predicted_seconds, measured_ssim, measured_bytes (null until
/// measured), encode_seconds, search_seconds, probes.
std::string TargetJson(const TargetRecord& record);

}  // namespace vexlo::jobs
