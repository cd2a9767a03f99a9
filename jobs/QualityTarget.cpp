#include "jobs/QualityTarget.h"

#include <algorithm>
#include <cmath>

#include "encode/OptionTables.h"

namespace vexlo::jobs {

namespace {

constexpr double kDefaultSlope = 0.1;  // ln(1 - SSIM) per CRF step
// A guess beyond the points measured moves at most this many positions: where the curve bends
// (grain whose SSIM hardly changes over the last positions, then falls fast), a line through
// two points far on one side would jump to the list's first positions, the slowest to encode.
constexpr int kFarthestStep = 5;
// A fitted slope is kept within these: two noisy points close together may give any.
constexpr double kFlattestSlope = 0.03;
constexpr double kSteepestSlope = 0.3;

// ln(1 - SSIM), kept finite for a perfect SSIM.
double Loss(double ssim) { return std::log(std::max(1 - ssim, 1e-6)); }

// The CRF at which the line through (crf, ssim) with `slope` reaches `target`.
double CrfFor(double crf, double ssim, double slope, double target) {
  return crf + (Loss(target) - Loss(ssim)) / slope;
}

}  // namespace

int CrfOfPosition(int position) {
  const std::string_view piece = encode::tables::SoftwareCrf(position);  // " -crf N"
  int value = 0;
  for (char c : piece.substr(piece.rfind(' ') + 1)) value = value * 10 + (c - '0');
  return value;
}

int ChosenPosition(const std::vector<ProbePoint>& points, double target) {
  int chosen = -1;
  for (const ProbePoint& point : points) {
    if (point.ssim >= target) chosen = std::max(chosen, point.position);
  }
  return std::max(chosen, 0);
}

std::optional<int> NextProbe(const std::vector<ProbePoint>& points, double target) {
  // The list's last position is the cheapest to encode, and when it meets the target the search
  // is over at once.
  if (points.empty()) return kCrfPositions - 1;
  // The bracket: `low` meets the target, `high` (above it) misses; -1 and kCrfPositions stand
  // for the list's ends, which are not measured.
  int low = -1;
  for (const ProbePoint& point : points) {
    if (point.ssim >= target) low = std::max(low, point.position);
  }
  int high = kCrfPositions;
  const ProbePoint* lowPoint = nullptr;
  const ProbePoint* highPoint = nullptr;
  for (const ProbePoint& point : points) {
    if (point.position == low) lowPoint = &point;
    if (point.ssim < target && point.position > low && point.position < high) {
      high = point.position;
      highPoint = &point;
    }
  }
  if (low == kCrfPositions - 1 || high == low + 1) return std::nullopt;
  // The line through the bracket's two ends, else through the two measured points nearest to
  // the target's side (extrapolated), else through one point with the usual slope. A point was
  // measured, so it meets the target (`lowPoint`) or misses it (`highPoint`).
  const ProbePoint* first = lowPoint ? lowPoint : highPoint;
  const ProbePoint* second = lowPoint ? highPoint : nullptr;
  if (!second) {
    for (const ProbePoint& point : points) {
      if (&point == first) continue;
      if (!second || std::abs(point.position - first->position) <
                         std::abs(second->position - first->position)) {
        second = &point;
      }
    }
  }
  double guess = 0;
  if (second) {
    const double c1 = CrfOfPosition(first->position);
    const double c2 = CrfOfPosition(second->position);
    double slope = (Loss(second->ssim) - Loss(first->ssim)) / (c2 - c1);
    if (!std::isfinite(slope)) slope = kDefaultSlope;
    guess = CrfFor(c1, first->ssim, std::clamp(slope, kFlattestSlope, kSteepestSlope), target);
  } else {
    guess = CrfFor(CrfOfPosition(first->position), first->ssim, kDefaultSlope, target);
  }
  // The highest position whose CRF is at most the guess, kept inside the bracket.
  int position = 0;
  for (int p = 0; p < kCrfPositions; ++p) {
    if (CrfOfPosition(p) <= guess + 1e-9) position = p;
  }
  if (!lowPoint || !highPoint) {
    position = std::clamp(position, first->position - kFarthestStep,
                          first->position + kFarthestStep);
  }
  return std::clamp(position, low + 1, high - 1);
}

}  // namespace vexlo::jobs
