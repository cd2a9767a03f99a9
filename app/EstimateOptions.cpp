#include "app/CommandOptions.h"
#include "platform/Paths.h"

// The reading of --estimate: which sources, with the encode's options.

namespace vexlo::app {

namespace {

StartRequest Refused(const std::string& line) {
  StartRequest request;
  request.exitNow = 2;
  request.err = "vexlo: " + OneLine(line) + "\n";
  return request;
}

}  // namespace

StartRequest ReadEstimate(const ParsedOptions& parsed, const std::string& workingDirectory) {
  EstimateJob estimate;
  std::vector<GivenOption> encode;
  std::string source;
  for (const GivenOption& option : parsed.options) {
    if (option.name == "estimate") continue;
    if (option.name == "json") {
      estimate.json = true;
    } else if (option.name == "sources-from") {
      if (option.value.empty()) return Refused("--sources-from needs a path");
      estimate.sourcesFrom =
          option.value == "-" ? option.value
                              : platform::FromWorkingDirectory(option.value, workingDirectory);
    } else if (option.name == "source") {
      source = option.value;
      encode.push_back(option);
    } else if (option.name == "output-dir") {
      // A batch's folder is accepted and left alone: an estimate writes nothing there.
    } else if (option.name == "destination" || option.name == "screenshot" ||
               option.name == "measure" || option.name == "skip-existing" ||
               option.name == "overwrite" || IsBatchRunOption(option.name)) {
      return Refused("--" + option.name + " is no option of --estimate, which encodes nothing");
    } else {
      encode.push_back(option);
    }
  }
  OptionJob job;
  if (std::string refusal = ReadEncodeOptions(encode, workingDirectory, job); !refusal.empty()) {
    return Refused(refusal);
  }
  if (job.audio) return Refused("--estimate predicts a video encode: it is no option of --type wav");
  estimate.settings = SettingsOf(job);
  estimate.sources = parsed.positional;
  if (!source.empty()) estimate.sources.insert(estimate.sources.begin(), source);
  if (estimate.sources.empty() && estimate.sourcesFrom.empty()) {
    return Refused("--estimate needs a source: --source PATH, or the sources as arguments");
  }
  estimate.workingDirectory = workingDirectory;
  StartRequest request;
  request.estimate = std::move(estimate);
  return request;
}

}  // namespace vexlo::app
