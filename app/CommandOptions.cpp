#include "app/CommandOptions.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <span>

#include "app/VexloApp.h"
#include "encode/OptionTables.h"
#include "platform/Paths.h"
#include "res/ListEntries.h"

namespace vexlo::app {

namespace {

namespace lists = res::lists;

enum class Kind { kPath, kWord, kPosition, kSwitch };

// One option: how its value is read, and where it goes.
struct OptionRule {
  std::string_view name;
  Kind kind;
  std::span<const std::string_view> values;  // the words of a kWord, the list of a kPosition
  std::string_view listName;                  // the window's name of that list
  int defaultPosition;
};

constexpr std::array<std::string_view, 4> kTypes = {"h264", "h265", "mpv", "wav"};
constexpr std::array<std::string_view, 3> kGpus = {"none", "nvidia", "amd"};

const OptionRule kRules[] = {
    {"source", Kind::kPath, {}, {}, 0},
    {"destination", Kind::kPath, {}, {}, 0},
    {"type", Kind::kWord, kTypes, {}, 0},
    {"profile", Kind::kPosition, lists::kProfile, "Video Profile", 0},
    {"crf", Kind::kPosition, lists::kCrf, "CRF (3=Best)", 4},
    {"gpu", Kind::kWord, kGpus, {}, 0},
    {"fps", Kind::kPosition, lists::kFps, "Force FPS", 0},
    {"resize", Kind::kPosition, lists::kResize, "Video Resize", 0},
    {"deinterlace", Kind::kSwitch, {}, {}, 0},
    {"short-gop", Kind::kSwitch, {}, {}, 0},
};

// The "CRF (3=Best)" list, and so the help, shows the value each position gives the tool.
constexpr bool CrfListShowsTheToolsValues() {
  if (lists::kCrf.size() != encode::tables::kSoftwareCrf.size()) return false;
  for (std::size_t i = 0; i < lists::kCrf.size(); ++i) {
    const std::string_view piece = encode::tables::kSoftwareCrf[i];
    if (!piece.starts_with(" -crf ") || piece.substr(6) != lists::kCrf[i]) return false;
  }
  return true;
}
static_assert(CrfListShowsTheToolsValues());

std::string_view Trimmed(std::string_view entry) {
  while (!entry.empty() && entry.front() == ' ') entry.remove_prefix(1);
  return entry;
}

// "0=baseline (default), 1=main, 2=high"
std::string Positions(const OptionRule& rule) {
  std::string text;
  for (std::size_t i = 0; i < rule.values.size(); ++i) {
    if (i) text += ", ";
    text += std::to_string(i) + "=" + std::string(Trimmed(rule.values[i]));
    if (static_cast<int>(i) == rule.defaultPosition) text += " (default)";
  }
  return text;
}

// A position of the list: digits only, within the list.
bool ReadPosition(std::string_view text, std::size_t size, int& position) {
  if (text.empty() || text.size() > 3) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (static_cast<std::size_t>(value) >= size) return false;
  position = value;
  return true;
}

std::string Quoted(std::string_view text) { return "\"" + OneLine(text) + "\""; }

// Why the path cannot be the source (or, with `destination`, the output); empty when it can.
std::string CheckPath(const std::string& path, bool destination) {
  if (platform::ToolReadsAsProtocol(path)) return {};  // the encode request refuses it
  struct stat info {};
  if (!destination) {
    if (::stat(path.c_str(), &info) != 0) {
      return "cannot read the source " + Quoted(path) + ": " + std::strerror(errno);
    }
    if (S_ISDIR(info.st_mode)) return "the source " + Quoted(path) + " is a folder, not a file";
    return {};
  }
  if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    return "the destination " + Quoted(path) + " is a folder; name the file to write";
  }
  const auto slash = path.rfind(platform::kPathSeparator);
  const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    return "the destination's folder " + Quoted(folder) + " does not exist";
  }
  return {};
}

// The options that are no part of an encode, as the parser knows them; "" for a name that only
// stands beside another.
struct FrontOption {
  std::string_view name;
  bool takesValue;
};
constexpr FrontOption kFrontOptions[] = {{"help", false}, {"help-all", false}, {"h", false},
                                         {"?", false},    {"version", false},  {"v", false},
                                         {"screenshot", true}};

// Whether the name is an option, and whether it takes a value.
bool KnownOption(std::string_view name, bool& takesValue) {
  for (const FrontOption& option : kFrontOptions) {
    if (option.name == name) return takesValue = option.takesValue, true;
  }
  for (const OptionRule& rule : kRules) {
    if (rule.name == name) return takesValue = rule.kind != Kind::kSwitch, true;
  }
  return false;
}

constexpr char kUsage[] =
    "Usage: vexlo [--source PATH --destination PATH [options]]\n"
    "       vexlo SOURCE,DESTINATION[,PROFILE,CRF]\n"
    "\n"
    "A front end for FFmpeg's command-line tools. Without arguments it opens its window.\n"
    "\n"
    "With --source and --destination it encodes that one file by itself, as the window's\n"
    "Encode button would, and ends with status 0 when the encode succeeded, 1 when it failed\n"
    "or was refused, 2 for a bad command line. This form neither reads nor writes the\n"
    "window's settings.\n"
    "\n"
    "The comma form encodes SOURCE to H.264 in DESTINATION with the list positions PROFILE\n"
    "(0 when absent) and CRF (4 when absent), and saves them as the window's settings. A\n"
    "path that holds a comma needs the options.\n"
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

StartRequest Refused(std::string_view line) {
  StartRequest request;
  request.exitNow = 2;
  request.err = "vexlo: " + OneLine(line) + "\n";
  return request;
}

}  // namespace

std::vector<JobOptionHelp> JobOptions() {
  std::vector<JobOptionHelp> help;
  for (const OptionRule& rule : kRules) {
    std::string description;
    std::string_view valueName;
    if (rule.name == "source") {
      valueName = "PATH";
      description = "The file to encode: a video file, or one file of a numbered PNG sequence.";
    } else if (rule.name == "destination") {
      valueName = "PATH";
      description = "The file to write. With --type wav its extension is replaced by .WAV.";
    } else if (rule.name == "type") {
      valueName = "TYPE";
      description =
          "h264 (default), h265, mpv (H.265 in MP4) or wav (the audio as 48 kHz 16-bit WAV).";
    } else if (rule.name == "gpu") {
      valueName = "GPU";
      description = "none (default), nvidia or amd: the hardware encoder of that make (the "
                    "FFmpeg beside vexlo must have it).";
    } else if (rule.kind == Kind::kPosition) {
      valueName = "N";
      description = "Position in the \"" + std::string(rule.listName) + "\" list: " +
                    Positions(rule) + ".";
      if (rule.name == "profile") description += " H.264 only.";
      if (rule.name == "crf") description += " With a GPU it chooses a bit rate.";
      if (rule.name == "fps") description += " A PNG sequence needs it: its frame rate.";
    } else if (rule.name == "deinterlace") {
      description = "Deinterlace the video (yadif).";
    } else {
      description = "Short GOP: a key frame at least every 8 frames (video sources).";
    }
    help.push_back({rule.name, valueName, std::move(description)});
  }
  return help;
}

std::string ReadJobOptions(const std::vector<GivenOption>& options,
                           const std::string& workingDirectory, OptionJob& job) {
  std::vector<std::string_view> seen;
  for (const GivenOption& given : options) {
    const OptionRule* rule = nullptr;
    for (const OptionRule& candidate : kRules) {
      if (candidate.name == given.name) rule = &candidate;
    }
    if (!rule) return "unknown option --" + OneLine(given.name);
    for (std::string_view name : seen) {
      if (name == rule->name) return "--" + std::string(rule->name) + " is given twice";
    }
    seen.push_back(rule->name);
    const std::string& value = given.value;
    const std::string option = "--" + std::string(rule->name);
    switch (rule->kind) {
      case Kind::kPath: {
        if (value.empty()) return option + " needs a path";
        (rule->name == "source" ? job.source : job.destination) =
            platform::FromWorkingDirectory(value, workingDirectory);
        break;
      }
      case Kind::kWord: {
        int position = -1;
        for (std::size_t i = 0; i < rule->values.size(); ++i) {
          if (rule->values[i] == value) position = static_cast<int>(i);
        }
        if (position < 0) {
          std::string words;
          for (std::size_t i = 0; i < rule->values.size(); ++i) {
            words += (i == 0 ? "" : i + 1 == rule->values.size() ? " or " : ", ");
            words += rule->values[i];
          }
          return option + " takes " + words + ", not " + Quoted(value);
        }
        if (rule->name == "gpu") {
          job.gpuType = position;
        } else {
          job.audio = position == 3;
          job.outType = job.audio ? 0 : position;
        }
        break;
      }
      case Kind::kPosition: {
        int position = 0;
        if (!ReadPosition(value, rule->values.size(), position)) {
          return option + " takes a position in the \"" + std::string(rule->listName) +
                 "\" list, 0 to " + std::to_string(rule->values.size() - 1) + ", not " +
                 Quoted(value) + " (see --help)";
        }
        int& field = rule->name == "profile" ? job.profile
                     : rule->name == "crf"   ? job.crf
                     : rule->name == "fps"   ? job.fps
                                             : job.resize;
        field = position;
        break;
      }
      case Kind::kSwitch:
        (rule->name == "deinterlace" ? job.deinterlace : job.shortGop) = true;
        break;
    }
  }
  if (job.source.empty() || job.destination.empty()) {
    return "an encode needs both --source PATH and --destination PATH";
  }
  if (std::string refusal = CheckPath(job.source, false); !refusal.empty()) return refusal;
  return CheckPath(job.destination, true);
}

std::string OneLine(std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return line;
}

bool UsesOptions(const std::vector<std::string>& arguments) {
  return std::any_of(arguments.begin(), arguments.end(), [](std::string_view argument) {
    return argument.starts_with("--") || argument == "-h" || argument == "-?" || argument == "-v";
  });
}

ParsedOptions ParseOptions(const std::vector<std::string>& arguments) {
  ParsedOptions parsed;
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
    if (!KnownOption(name, takesValue)) {
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
      parsed.options.push_back(
          {name, !takesValue ? "" : attached ? std::string(text.substr(equals + 1)) : arguments[++i]});
    }
  }
  return parsed;
}

std::string HelpText() {
  const std::vector<JobOptionHelp> options = JobOptions();
  std::vector<std::pair<std::string, std::string>> entries = {
      {"-h, --help", "Displays help on commandline options."},
      {"--help-all", "Displays help including Qt specific options."},
      {"-v, --version", "Displays version information."}};
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
  // Positional arguments are the sources of a form still to come; with an encode's options the
  // paths are named.
  if (!parsed.positional.empty()) {
    return Refused("unexpected argument " + Quoted(parsed.positional.front()) +
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
  request.job = job;
  return request;
}

}  // namespace vexlo::app
