#pragma once

#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>

// Pieces of the prober's "key=value" reports that every reader of them shares.
namespace vexlo::analysis::probe_text {

/// Takes the report's next line (its CR LF or LF dropped) off its front.
inline std::string_view TakeLine(std::string_view& report) {
  const auto lineEnd = report.find('\n');
  std::string_view line = report.substr(0, lineEnd);
  report.remove_prefix(lineEnd == std::string_view::npos ? report.size() : lineEnd + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

/// A positive finite decimal number ("10.000000"); nothing for "N/A" and the like.
inline std::optional<double> Positive(std::string_view text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) ||
      !(value > 0)) {
    return std::nullopt;
  }
  return value;
}

/// A frame rate "25/1" or "30000/1001"; nothing for "0/0".
inline std::optional<double> Rate(std::string_view text) {
  const auto slash = text.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const auto numerator = Positive(text.substr(0, slash)),
             denominator = Positive(text.substr(slash + 1));
  if (!numerator || !denominator) return std::nullopt;
  return *numerator / *denominator;
}

}  // namespace vexlo::analysis::probe_text
