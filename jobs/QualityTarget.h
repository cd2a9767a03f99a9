#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "encode/EncoderSettings.h"
#include "platform/FileDescriptor.h"

// Predictions from samples before an encode (its size, time and SSIM), and the choice of the
// "CRF (3=Best)" position that meets a target SSIM with the smallest output. The samples
// (jobs/Samples) are encoded by the encode's own command line and measured against their
// reference by the quality measurement; nothing here touches the real output.
namespace vexlo::jobs {

/// The software CRF of a position of the "CRF (3=Best)" list (3 ... 30); the default's 14
/// outside it.
int CrfOfPosition(int position);

/// The list's positions, 0 (CRF 3) to 13 (CRF 30).
inline constexpr int kCrfPositions = 14;

/// The SSIM a full encode reaches is taken as the samples' plus this. In bench/target_ssim's
/// table (docs/quality-target.md) the samples overrated a whole encode by at most 0.00027, well
/// inside the 0.002 a target allows, so no correction is made.
inline constexpr double kSsimMargin = 0.0;

// The samples encoded at one position, scaled to the whole source.
struct ProbePoint {
  int position = 0;
  double ssim = 0;              // predicted for the whole encode (the samples' plus the margin)
  double predictedBytes = 0;    // the whole encode's, from the samples' (PredictedBytes)
  double predictedSeconds = 0;  // the samples' encode time per second times the same
};

/// The next position to encode the samples at, given those measured so far, or nothing once the
/// choice is made: the highest position meeting `target` is known and the one above it is known
/// to miss (or it is the list's last), or the first position misses. The first is the list's
/// last (CRF 30: the fastest encode, and the end of the search when it meets the target). SSIM
/// falls as the CRF rises; 1 - SSIM is taken as growing exponentially with the CRF, fitted
/// through the two points that bracket the target (or, with one point, a slope of 0.1 per CRF
/// step), and the guess is kept strictly inside the bracket; without a bracket yet, at most 5
/// positions from the nearest point measured.
std::optional<int> NextProbe(const std::vector<ProbePoint>& points, double target);

/// The highest measured position whose SSIM meets `target`; position 0 when none does.
int ChosenPosition(const std::vector<ProbePoint>& points, double target);

// What to sample: the source and the encode's settings (its CRF position is the one estimated;
// a target search sets its own).
struct SampleRequest {
  std::string sourcePath;  // absolute
  encode::EncoderSettings settings;
  std::string programDir;
  std::function<void(std::string_view line)> log;  // the lines of each step, with CR LF
};

// A prediction at one position.
struct Estimate {
  ProbePoint point;
  double sourceSeconds = 0;
  double sampleSeconds = 0;  // how much of the source the samples cover
  double searchSeconds = 0;  // how long the samples took, cut, encodes and measurements
};

// How a sampling ended: a result, or why not.
struct SampleOutcome {
  std::optional<Estimate> estimate;  // the estimate, or the chosen position's prediction
  std::vector<ProbePoint> probes;    // every position measured, in order
  std::string failure;               // one line, when it failed
  bool stopped = false;
};

/// The last "speed=2.5x" of an ffmpeg.bin output (media seconds per second); 0 when there is
/// none or it reads "N/A".
double LastSpeed(std::string_view output);

/// Why the settings cannot be sampled (a hardware encoder, a PNG sequence), or nothing.
std::optional<std::string> SamplingRefusal(const SampleRequest& request, bool target);

/// The prediction for the settings as they are: the samples cut once into a temporary folder,
/// encoded once, measured once. The folder is removed however it ends. Runs on the calling
/// thread; `stop` readable stops the running tool and ends it as stopped.
SampleOutcome EstimateEncode(const SampleRequest& request, const platform::UniqueFd& stop);

/// The search for `target`: the samples cut once, then encoded and measured at the positions
/// NextProbe asks for; `estimate` is the chosen position's prediction.
SampleOutcome SearchTarget(const SampleRequest& request, double target,
                           const platform::UniqueFd& stop);

}  // namespace vexlo::jobs
