#include "jobs/BatchPlan.h"

#include <algorithm>
#include <charconv>
#include <map>

#include "encode/OutputNames.h"
#include "platform/Characters.h"
#include "platform/Paths.h"

namespace vexlo::jobs {

namespace {

constexpr std::string_view kTemporaryMark = ".vexlo-partial-";
constexpr std::string_view kIncompleteMark = ".incomplete";

// The path up to its extension's '.', and the extension with its '.' (empty when it has none).
std::pair<std::string_view, std::string_view> SplitExtension(std::string_view path) {
  const std::size_t dot = platform::ExtensionDot(path, true);
  if (dot == std::string_view::npos) return {path, {}};
  return {path.substr(0, dot), path.substr(dot)};
}

// The key under which two outputs are the same file: Windows' names ignore the letter case.
std::string OutputKey(std::string path) {
  if (platform::kPathSeparator == '\\') {
    std::transform(path.begin(), path.end(), path.begin(), [](char c) {
      return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
  }
  return path;
}

}  // namespace

std::string_view BatchExtension(bool audio, int outType) {
  return audio ? encode::kWavExtension : encode::OutputExtension(encode::OutputTypeOf(outType));
}

std::string TemporaryName(std::string_view output, long ownerPid) {
  const auto [stem, extension] = SplitExtension(output);
  return std::string(stem) + std::string(kTemporaryMark) + std::to_string(ownerPid) +
         std::string(extension);
}

std::string IncompleteName(std::string_view output) {
  const auto [stem, extension] = SplitExtension(output);
  return std::string(stem) + std::string(kIncompleteMark) + std::string(extension);
}

std::optional<long> TemporaryOwner(std::string_view fileName) {
  const std::string_view stem = SplitExtension(fileName).first;
  const auto mark = stem.rfind(kTemporaryMark);
  if (mark == std::string_view::npos) return std::nullopt;
  const std::string_view digits = stem.substr(mark + kTemporaryMark.size());
  long pid = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
  if (digits.empty() || !platform::IsDigit(digits.front()) || error != std::errc() ||
      end != digits.data() + digits.size()) {
    return std::nullopt;
  }
  return pid;
}

BatchPlan PlanBatch(const std::vector<std::string>& sources, const std::string& outputDir,
                    std::string_view extension, const std::string& workingDirectory,
                    long ownerPid) {
  BatchPlan plan;
  const std::string folder = platform::FromWorkingDirectory(outputDir, workingDirectory);
  std::map<std::string, std::size_t> byOutput;  // the item that makes each output
  for (const std::string& source : sources) {
    BatchItem item;
    item.source = source;
    item.sourcePath = platform::FromWorkingDirectory(source, workingDirectory);
    item.output = encode::OutputPathIn(source, outputDir, extension);
    item.outputPath = encode::OutputPathIn(source, folder, extension);
    item.temporaryPath = TemporaryName(item.outputPath, ownerPid);
    item.incompletePath = IncompleteName(item.outputPath);
    const auto [taken, added] = byOutput.emplace(OutputKey(item.outputPath), plan.items.size());
    if (!added) {
      plan.refusal = "two sources make the same output " + item.output + ": " +
                     plan.items[taken->second].source + " and " + source;
      plan.items.clear();
      return plan;
    }
    plan.items.push_back(std::move(item));
  }
  return plan;
}

std::vector<std::string> SourceListLines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const auto end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (!line.empty()) lines.emplace_back(line);
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return lines;
}

}  // namespace vexlo::jobs
