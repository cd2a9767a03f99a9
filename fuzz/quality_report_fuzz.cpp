// The reading of a quality measurement's tool output and of the prober's shape of the output:
// any text gives figures that make sense (finite SSIM, a PSNR that is a number, counts not below
// zero) or none, rates from within one line of it, and a shape with a size and a pixel format fit
// for a filter graph, or none; and the readers of an output's packets and a source's header,
// whose counts, sizes and lengths are never below zero, compared into a report that warns
// exactly when it is not ok.
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "analysis/Conformance.h"
#include "jobs/QualityMeasure.h"

using namespace vexlo::jobs;
using namespace vexlo::analysis;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto figures = ParseQualityReport(text)) {
    for (double ssim : {figures->ssim, figures->ssimY, figures->ssimU, figures->ssimV}) {
      if (!std::isfinite(ssim)) std::abort();
    }
    if (std::isnan(figures->psnr) || figures->frames < 0 || figures->sourceFrames < 0) std::abort();
  }
  const ComparedRates rates = ReadComparedRates(text);
  if (rates.output.find('\n') != std::string::npos || rates.source.size() > size) std::abort();
  if (const auto shape = ParseVideoShape(text)) {
    if (shape->width <= 0 || shape->height <= 0 || shape->pixelFormat.empty()) std::abort();
    for (char c : shape->pixelFormat + shape->frameRate) {
      if (c == ',' || c == ';' || c == '[' || c == '"' || c == ' ') std::abort();
    }
  }
  const OutputVideo output = ReadOutputVideo(text);
  const SourceVideo source = ReadSourceVideo(text);
  if (output.frames.value_or(0) < 0 || output.longestGop.value_or(0) < 0 ||
      output.size.width < 0 || output.size.height < 0 || source.frames.value_or(1) <= 0 ||
      !(source.seconds.value_or(1) > 0) || !std::isfinite(source.frameRate.value_or(1))) {
    std::abort();
  }
  const ConformanceReport report =
      CompareOutput({true, source.frameRate, std::nullopt, "yuv420p", "high", 8}, source, output);
  if (report.ok() == !ConformanceWarnings(report).empty() || (report.framesShort() && report.ok())) {
    std::abort();
  }
  return 0;
}
