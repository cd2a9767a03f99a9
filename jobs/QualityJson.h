#pragma once

#include <cmath>
#include <limits>
#include <optional>

#include <nlohmann/json.hpp>

#include "jobs/QualityMeasure.h"

// A measurement's figures as JSON members, the same in a batch item's result and in the saved
// queue: ssim, ssim_y, ssim_u, ssim_v, psnr (null for identical frames, whose PSNR is
// infinite: JSON has no such number), frames, source_frames. For jobs/ only: it brings in the
// JSON library.
namespace vexlo::jobs {

template <typename Json>
void AddQualityMembers(Json& object, const QualityFigures& figures) {
  object["ssim"] = figures.ssim;
  object["ssim_y"] = figures.ssimY;
  object["ssim_u"] = figures.ssimU;
  object["ssim_v"] = figures.ssimV;
  object["psnr"] = std::isfinite(figures.psnr) ? Json(figures.psnr) : Json(nullptr);
  object["frames"] = figures.frames;
  object["source_frames"] = figures.sourceFrames;
}

/// The figures of an object that AddQualityMembers wrote; nothing when one is missing or is not
/// a number of its kind.
template <typename Json>
std::optional<QualityFigures> QualityFromMembers(const Json& object) {
  const auto number = [&object](const char* key) -> std::optional<double> {
    if (!object.is_object() || !object.contains(key) || !object[key].is_number()) return {};
    return object[key].template get<double>();
  };
  const auto whole = [&object](const char* key) -> std::optional<std::int64_t> {
    if (!object.is_object() || !object.contains(key) || !object[key].is_number_integer()) return {};
    return object[key].template get<std::int64_t>();
  };
  const auto ssim = number("ssim"), y = number("ssim_y"), u = number("ssim_u"),
             v = number("ssim_v");
  const auto frames = whole("frames"), sourceFrames = whole("source_frames");
  if (!ssim || !y || !u || !v || !frames || !sourceFrames || !object.contains("psnr")) return {};
  const auto psnr =
      object["psnr"].is_null() ? std::numeric_limits<double>::infinity() : number("psnr");
  if (!psnr) return {};
  return QualityFigures{*ssim, *y, *u, *v, *psnr, *frames, *sourceFrames};
}

}  // namespace vexlo::jobs
