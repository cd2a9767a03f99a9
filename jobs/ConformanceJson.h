#pragma once

#include <nlohmann/json.hpp>

#include "analysis/Conformance.h"

// An output's check against its request as a batch item's JSON member, one member per fact that
// was checked: {"frames":{"expected":250,"found":231},"width":{"expected":320,"found":320},
// "height":{...},"pix_fmt":{"expected":"yuv420p","found":"yuv420p"},"profile":{"expected":"High",
// "found":"High"},"longest_gop":{"at_most":8,"found":9},"ok":false}. For jobs/ only: it brings
// in the JSON library.
namespace vexlo::jobs {

inline nlohmann::ordered_json ConformanceJson(const analysis::ConformanceReport& report) {
  nlohmann::ordered_json object = nlohmann::ordered_json::object();
  const auto pair = [](const auto& expected, const auto& found) {
    return nlohmann::ordered_json{{"expected", expected}, {"found", found}};
  };
  if (report.frames) object["frames"] = pair(report.frames->expected, report.frames->found);
  if (report.size) {
    object["width"] = pair(report.size->expected.width, report.size->found.width);
    object["height"] = pair(report.size->expected.height, report.size->found.height);
  }
  if (report.pixelFormat) {
    object["pix_fmt"] = pair(report.pixelFormat->expected, report.pixelFormat->found);
  }
  if (report.profile) object["profile"] = pair(report.profile->expected, report.profile->found);
  if (report.longestGop) {
    object["longest_gop"] = {{"at_most", report.longestGop->expected},
                             {"found", report.longestGop->found}};
  }
  object["ok"] = report.ok();
  return object;
}

}  // namespace vexlo::jobs
