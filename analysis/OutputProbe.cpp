#include "analysis/OutputProbe.h"

#include <charconv>
#include <cmath>

#include "process/CommandLineBuilder.h"

namespace vexlo::analysis {

namespace {

constexpr double kShortShare = 0.02;
constexpr double kShortSeconds = 1.0;

// The value of the first "key=" that starts a line of the output.
std::optional<std::string_view> ValueOf(std::string_view output, std::string_view key) {
  std::size_t at = 0;
  while (at < output.size()) {
    std::size_t end = output.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = output.size();
    const std::string_view line = output.substr(at, end - at);
    if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=') {
      return line.substr(key.size() + 1);
    }
    at = end + 1;
  }
  return std::nullopt;
}

// A finite number that fills the whole text, read whatever the locale; nothing for "N/A".
std::optional<double> Number(std::string_view text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::string ProbeLengthCommandLine(std::string_view programDir, std::string_view path,
                                   LengthKind kind) {
  process::CommandLineBuilder line(programDir, process::kProberTool);
  line.Add(" -v error");
  if (kind == LengthKind::kRawStream) {
    line.Add(
        " -select_streams v:0 -count_packets -show_entries stream=r_frame_rate,nb_read_packets");
  } else {
    line.Add(" -show_entries format=duration");
  }
  return line.Add(" -of default=noprint_wrappers=1 ").AddQuoted(path).Text();
}

std::optional<double> ParseProbedSeconds(std::string_view output) {
  if (const auto duration = ValueOf(output, "duration")) {
    if (const auto seconds = Number(*duration)) return seconds;
  }
  const auto packets = ValueOf(output, "nb_read_packets");
  const auto rate = ValueOf(output, "r_frame_rate");
  if (!packets || !rate) return std::nullopt;
  const auto slash = rate->find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const auto count = Number(*packets);
  const auto numerator = Number(rate->substr(0, slash));
  const auto denominator = Number(rate->substr(slash + 1));
  if (!count || !numerator || !denominator || *numerator <= 0 || *denominator <= 0) {
    return std::nullopt;
  }
  return *count * *denominator / *numerator;
}

bool IsShortOfSource(double sourceSeconds, double outputSeconds) {
  const double missing = sourceSeconds - outputSeconds;
  return missing > kShortShare * sourceSeconds && missing > kShortSeconds;
}

}  // namespace vexlo::analysis
