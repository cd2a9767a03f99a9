#include "app/CommandOptions.h"

#include <algorithm>

#include "app/VexloApp.h"
#include "jobs/JobKinds.h"
#include "platform/Paths.h"

// The reading of the command line, the same on every system: its form, the options' spelling,
// the help text and what the command line asks for.

namespace vexlo::app {

namespace {

// The options of the kinds the command line offers besides an encode (jobs::kJobKinds).
constexpr std::string_view kPlot = jobs::KindRow(jobs::JobKind::kIndex).option;
constexpr std::string_view kMeasure = jobs::KindRow(jobs::JobKind::kQuality).option;

// The options that are no part of an encode, as the parser knows them.
struct FrontOption {
  std::string_view name;
  bool takesValue;
};
constexpr FrontOption kFrontOptions[] = {
    {"help", false},        {"help-all", false},      {"h", false},
    {"?", false},           {"version", false},       {"v", false},
    {"screenshot", true},   {kPlot, true},            {"output-dir", true},
    {"sources-from", true}, {"skip-existing", false}, {"overwrite", false},
    {"json", false},        {kMeasure, false},        {"jobs", true},
    {"gpu-sessions", true}, {"low-priority", false},  {"estimate", false}};

// The options that make a batch, besides the sources it is given as arguments. --measure and
// --json also serve the measurement of one output, which has no output folder nor list.
constexpr std::string_view kBatchOptions[] = {"output-dir", "sources-from", "skip-existing",
                                              "overwrite",  "json",         kMeasure};

bool IsBatchOption(std::string_view name) {
  return IsBatchRunOption(name) ||
         std::find(std::begin(kBatchOptions), std::end(kBatchOptions), name) !=
             std::end(kBatchOptions);
}

// Whether the name is an option, and whether it takes a value (an encode's switch has no value
// name).
bool KnownOption(std::string_view name, const std::vector<JobOptionHelp>& jobOptions,
                 bool& takesValue) {
  for (const FrontOption& option : kFrontOptions) {
    if (option.name == name) return takesValue = option.takesValue, true;
  }
  for (const JobOptionHelp& option : jobOptions) {
    if (option.name == name) return takesValue = !option.valueName.empty(), true;
  }
  return false;
}

constexpr char kUsage[] =
    "Usage: vexlo [--source PATH --destination PATH [options]]\n"
    "       vexlo --output-dir DIR [--sources-from FILE] [options] [SOURCE...]\n"
    "       vexlo SOURCE,DESTINATION[,PROFILE,CRF]\n"
    "       vexlo --plot PICTURE.svg SOURCE\n"
    "       vexlo --measure SOURCE OUTPUT [--fps N] [--resize N] [--deinterlace] [--json]\n"
    "\n"
    "A front end for FFmpeg's command-line tools. Without arguments it opens its window.\n"
    "\n"
    "With --source and --destination it encodes that one file by itself, as the window's\n"
    "Encode button would, under a temporary name beside DESTINATION that is renamed into\n"
    "place once it is read back whole (else kept as NAME.incomplete.EXT). This form neither\n"
    "reads nor writes the window's settings.\n"
    "\n"
    "The comma form encodes SOURCE to H.264 in DESTINATION with the list positions PROFILE\n"
    "(0 when absent) and CRF (4 when absent), and saves them as the window's settings. A\n"
    "path that holds a comma needs the options.\n"
    "\n"
    "With --output-dir it encodes each SOURCE in turn (and each line of --sources-from FILE,\n"
    "- for standard input) into DIR, named like the window's destination buttons name them.\n"
    "Each output is written under a temporary name, read back with ffprobe.bin, and renamed\n"
    "into place only when it is whole; one that ends short is kept as NAME.incomplete.EXT.\n"
    "An output that exists is refused unless --skip-existing or --overwrite. One line per\n"
    "item goes to standard error; --json writes one JSON object per item to standard output.\n"
    "Each item's source must be a readable file when its turn comes; one that is not fails\n"
    "that item alone. --jobs runs several items side by side, their results reported in\n"
    "the order they end.\n"
    "\n"
    "With --plot it draws SOURCE's video frames into an SVG picture, from the same frame\n"
    "report as the window's Index button and prints the summary line; no settings, no\n"
    "index file and no log are written.\n"
    "\n"
    "With --measure it prints the SSIM and PSNR of OUTPUT against SOURCE (FFmpeg's ssim and\n"
    "psnr filters in one run), the source first brought to the output's size, frame rate\n"
    "and pixel format; --fps, --resize and --deinterlace say what the encode did (a raw\n"
    ".H264/.H265 output is read at the --fps rate, else at the source's). --json prints one\n"
    "JSON object instead; an output without video is refused. With --output-dir, --measure\n"
    "measures each done item of a video batch and adds its figures to the item's line and\n"
    "JSON object.\n"
    "\n"
    "Exit status, the same for every form: 0 done; 1 the work failed, a file was missing,\n"
    "unreadable or could not be written (the same command may succeed once the files are\n"
    "right), or an item of a batch failed; 2 a command line that no files could satisfy (an\n"
    "unknown option, a bad value, two sources of a batch with one output); 130 stopped by\n"
    "SIGINT or SIGTERM.\n"
    "\n"
    "Options:\n";

// One option of the help: the names in a column of `width`, the description wrapped beside them
// in lines of at most 79 characters.
std::string HelpEntry(std::string_view names, std::string_view description, std::size_t width) {
  const std::size_t room = 79 - (2 + width + 1);
  std::vector<std::string> lines(1);
  for (std::size_t at = 0; at < description.size();) {
    const std::size_t end = std::min(description.find(' ', at), description.size());
    const std::string_view word = description.substr(at, end - at);
    if (!lines.back().empty() && lines.back().size() + 1 + word.size() > room) lines.emplace_back();
    lines.back() += (lines.back().empty() ? "" : " ") + std::string(word);
    at = end + 1;
  }
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string column(i == 0 ? names : "");
    column.resize(width, ' ');
    text += "  " + column + " " + lines[i] + "\n";
  }
  return text;
}

// Exit statuses of a command line that runs nothing.
constexpr int kFilesWrong = 1;   // a source that is not there, a folder that cannot take a file
constexpr int kBadCommand = 2;   // no files could make this command line work

StartRequest Refused(std::string_view line, int status = kBadCommand) {
  StartRequest request;
  request.exitNow = status;
  request.err = "vexlo: " + OneLine(line) + "\n";
  return request;
}


// The batch form: the sources as arguments or in a list, the output folder, the rule for an
// output that exists, and an encode's options for every item.
StartRequest ReadBatch(const ParsedOptions& parsed, const std::string& workingDirectory) {
  jobs::BatchRequest batch;
  batch.jobs = 0;  // auto unless --jobs says otherwise: never slower than one at a time
  std::vector<GivenOption> encode;
  std::vector<std::string_view> seen;
  for (const GivenOption& option : parsed.options) {
    if (!IsBatchOption(option.name)) {
      if (option.name == "source" || option.name == "destination" || option.name == "screenshot") {
        return Refused("--" + option.name + " is no option of a batch: give its sources as " +
                       "arguments and its folder with --output-dir");
      }
      encode.push_back(option);
      continue;
    }
    if (std::find(seen.begin(), seen.end(), option.name) != seen.end()) {
      return Refused("--" + option.name + " is given twice");
    }
    seen.push_back(option.name);
    if (option.name == "output-dir" || option.name == "sources-from") {
      if (option.value.empty()) return Refused("--" + option.name + " needs a path");
      const bool standardInput = option.name == "sources-from" && option.value == "-";
      (option.name == "output-dir" ? batch.outputDir : batch.sourcesFrom) =
          standardInput ? option.value
                        : platform::FromWorkingDirectory(option.value, workingDirectory);
    } else if (IsBatchRunOption(option.name)) {
      if (std::string refusal = ReadBatchRunOption(option, batch); !refusal.empty()) {
        return Refused(refusal);
      }
    } else if (option.name == "json") {
      batch.json = true;
    } else if (option.name == kMeasure) {
      batch.measure = true;
    } else {
      const auto rule = option.name == "overwrite" ? jobs::ExistingOutput::kOverwrite
                                                   : jobs::ExistingOutput::kSkip;
      if (batch.existing != jobs::ExistingOutput::kRefuse && batch.existing != rule) {
        return Refused("--skip-existing and --overwrite exclude each other");
      }
      batch.existing = rule;
    }
  }
  if (batch.outputDir.empty()) {
    return Refused("sources as arguments make a batch, which needs --output-dir DIR (one file: "
                   "--source PATH --destination PATH)");
  }
  OptionJob job;
  if (std::string refusal = ReadEncodeOptions(encode, workingDirectory, job); !refusal.empty()) {
    return Refused(refusal);
  }
  batch.audio = job.audio;
  if (batch.audio && batch.measure) {
    return Refused("--measure measures video: it is no option of a --type wav batch");
  }
  batch.settings = SettingsOf(job);
  batch.sources = parsed.positional;
  batch.workingDirectory = workingDirectory;
  StartRequest request;
  request.batch = std::move(batch);
  return request;
}

// --plot PICTURE SOURCE: one option and one source, the picture not the source itself.
StartRequest ReadPlot(const ParsedOptions& parsed, const std::string& workingDirectory) {
  if (parsed.options.size() != 1) return Refused("--plot PICTURE SOURCE takes no other option");
  if (parsed.positional.size() != 1) {
    return Refused("--plot PICTURE SOURCE takes one source file, not " +
                   std::to_string(parsed.positional.size()));
  }
  PlotJob plot{platform::FromWorkingDirectory(parsed.options.front().value, workingDirectory),
               platform::FromWorkingDirectory(parsed.positional.front(), workingDirectory)};
  if (parsed.options.front().value.empty()) return Refused("--plot needs the picture's file name");
  if (!platform::PathIsSafeForCommandLine(plot.source)) {
    return Refused("the source \"" + plot.source +
                   "\" cannot be given to the prober (a double quote, a leading '-' or a "
                   "protocol name)");
  }
  for (const auto& [path, destination] : {std::pair{&plot.source, false}, {&plot.picture, true}}) {
    if (std::string refusal = PathRefusal(*path, destination); !refusal.empty()) {
      return Refused(refusal, kFilesWrong);
    }
  }
  if (platform::SameFile(plot.picture, plot.source)) {
    return Refused("the picture \"" + plot.picture + "\" would overwrite its source");
  }
  StartRequest request;
  request.plot = std::move(plot);
  return request;
}

// --measure SOURCE OUTPUT: the two files as arguments, and what the encode did.
StartRequest ReadMeasure(const ParsedOptions& parsed, const std::string& workingDirectory) {
  std::vector<GivenOption> encode;
  MeasureJob measure;
  for (const GivenOption& option : parsed.options) {
    if (option.name == "json") {
      measure.json = true;
    } else if (option.name == "fps" || option.name == "resize" || option.name == "deinterlace") {
      encode.push_back(option);
    } else if (option.name != kMeasure) {
      return Refused("--" + option.name + " is no option of --measure SOURCE OUTPUT");
    }
  }
  if (parsed.positional.size() != 2) {
    const std::string count = std::to_string(parsed.positional.size());
    return Refused("--measure SOURCE OUTPUT takes two files, the source and its encode, not " +
                   count);
  }
  OptionJob job;
  if (std::string refusal = ReadEncodeOptions(encode, workingDirectory, job); !refusal.empty()) {
    return Refused(refusal);
  }
  jobs::QualityRequest& quality = measure.quality;
  quality.source = parsed.positional[0];
  quality.output = parsed.positional[1];
  quality.sourcePath = platform::FromWorkingDirectory(quality.source, workingDirectory);
  quality.outputPath = platform::FromWorkingDirectory(quality.output, workingDirectory);
  quality.fps = job.fps;
  quality.resize = job.resize;
  quality.deinterlace = job.deinterlace;
  StartRequest request;
  request.measure = std::move(measure);
  return request;
}

}  // namespace

bool UsesOptions(const std::vector<std::string>& arguments) {
  return std::any_of(arguments.begin(), arguments.end(), [](std::string_view argument) {
    return argument.starts_with("--") || argument == "-h" || argument == "-?" || argument == "-v";
  });
}

ParsedOptions ParseOptions(const std::vector<std::string>& arguments) {
  ParsedOptions parsed;
  const std::vector<JobOptionHelp> jobOptions = JobOptions();
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size() && parsed.refusal.empty(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      parsed.positional.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    std::string_view text(argument);
    text.remove_prefix(text.starts_with("--") ? 2 : 1);
    const std::size_t equals = text.find('=');
    const std::string name(text.substr(0, equals));
    bool takesValue = false;
    if (!KnownOption(name, jobOptions, takesValue)) {
      parsed.refusal = "unknown option \"" + OneLine(argument) + "\"";
    } else if (!takesValue && equals != std::string_view::npos) {
      parsed.refusal = "--" + name + " takes no value";
    } else if (takesValue && equals == std::string_view::npos && i + 1 == arguments.size()) {
      parsed.refusal = "--" + name + " needs a value";
    } else if (name == "help" || name == "help-all" || name == "h" || name == "?") {
      parsed.help = true;
    } else if (name == "version" || name == "v") {
      parsed.version = true;
    } else {
      const bool attached = equals != std::string_view::npos;
      parsed.options.push_back({name, !takesValue ? ""
                                      : attached  ? std::string(text.substr(equals + 1))
                                                  : arguments[++i]});
    }
  }
  return parsed;
}

std::string HelpText() {
  const std::vector<JobOptionHelp> options = JobOptions();
  std::vector<std::pair<std::string, std::string>> entries = {
      {"-h, --help", "Displays help on commandline options."},
      {"-v, --version", "Displays version information."},
      {"--plot <PICTURE.svg>",
       "Writes a picture of SOURCE's frames: sizes coloured by picture type (I, P, B), the bit "
       "rate over a sliding one-second window, the key frames with the GOP lengths between "
       "them, and a summary line (frames, key frames, shortest, longest and average GOP, "
       "average and peak bit rate)."},
      {"--measure",
       "Measures the SSIM and PSNR of OUTPUT against SOURCE (vexlo --measure SOURCE OUTPUT), "
       "or, with --output-dir, of each output of a video batch against its source."}};
  for (auto& entry : BatchRunHelp()) entries.push_back(std::move(entry));
  for (const JobOptionHelp& option : options) {
    std::string names = "--" + std::string(option.name);
    if (!option.valueName.empty()) names += " <" + std::string(option.valueName) + ">";
    entries.emplace_back(names, option.description);
  }
  std::size_t width = 0;
  for (const auto& entry : entries) width = std::max(width, entry.first.size() + 1);
  std::string text = kUsage;
  for (const auto& [names, description] : entries) text += HelpEntry(names, description, width);
  return text;
}

StartRequest ReadCommandLine(const std::vector<std::string>& arguments,
                             const std::string& workingDirectory, std::string_view version) {
  StartRequest request;
  if (!UsesOptions(arguments)) {
    request.commandLine = JoinArguments(arguments);
    return request;
  }
  const ParsedOptions parsed = ParseOptions(arguments);
  if (!parsed.refusal.empty()) return Refused(parsed.refusal + " (see vexlo --help)");
  if (parsed.help || parsed.version) {
    request.exitNow = 0;
    request.out = parsed.help ? HelpText() : "vexlo " + std::string(version) + "\n";
    return request;
  }
  for (const GivenOption& option : parsed.options) {
    if (option.name == kPlot) return ReadPlot(parsed, workingDirectory);
    if (option.name == "estimate") return ReadEstimate(parsed, workingDirectory);
  }
  const auto given = [&parsed](bool (*test)(std::string_view)) {
    return std::any_of(parsed.options.begin(), parsed.options.end(),
                       [test](const GivenOption& option) { return test(option.name); });
  };
  const bool namedPaths =
      given([](std::string_view name) { return name == "source" || name == "destination"; });
  // --measure with an output folder or a list measures a batch's outputs; alone, one output.
  const bool measure = given([](std::string_view name) { return name == kMeasure; });
  if (measure && !given([](std::string_view name) {
        return name == "output-dir" || name == "sources-from";
      })) {
    return ReadMeasure(parsed, workingDirectory);
  }
  if (given(IsBatchOption) || (!parsed.positional.empty() && !namedPaths)) {
    return ReadBatch(parsed, workingDirectory);
  }
  // With an encode's options the paths are named.
  if (!parsed.positional.empty()) {
    return Refused("unexpected argument \"" + OneLine(parsed.positional.front()) + "\"" +
                   ": with options, give the paths with --source and --destination");
  }
  for (const GivenOption& option : parsed.options) {
    if (option.name != "screenshot") continue;
    if (parsed.options.size() != 1) return Refused("--screenshot FILE takes no other option");
    if (option.value.empty()) return Refused("--screenshot needs a file");
    // From the caller's folder, made absolute here like every path the caller gives.
    request.screenshot = platform::FromWorkingDirectory(option.value, workingDirectory);
    return request;
  }
  OptionJob job;
  if (std::string refusal = ReadJobOptions(parsed.options, workingDirectory, job);
      !refusal.empty()) {
    return Refused(refusal);
  }
  for (const auto& [path, destination] : {std::pair{&job.source, false}, {&job.destination, true}}) {
    if (std::string refusal = PathRefusal(*path, destination); !refusal.empty()) {
      return Refused(refusal, kFilesWrong);
    }
  }
  request.job = job;
  return request;
}

}  // namespace vexlo::app
