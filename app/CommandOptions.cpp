#include "app/CommandOptions.h"


#include <algorithm>
#include <array>
#include <cstdlib>
#include <span>

#include "encode/OptionTables.h"
#include "platform/FileOperations.h"
#include "platform/Paths.h"
#include "platform/SystemError.h"
#include "res/ListEntries.h"

namespace vexlo::app {

namespace {

namespace lists = res::lists;

enum class Kind { kPath, kWord, kPosition, kSwitch, kSsim };

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
    {"target-ssim", Kind::kSsim, {}, {}, 0},
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

// Why a target SSIM cannot go with the other options, or an empty string.
std::string TargetRefusal(const OptionJob& job, const std::vector<std::string_view>& seen) {
  if (job.targetSsim <= 0) return {};
  if (std::find(seen.begin(), seen.end(), "crf") != seen.end()) {
    return "--target-ssim chooses the CRF: give --crf or --target-ssim, not both";
  }
  if (job.gpuType != 0) {
    return "--target-ssim needs the software encoder (x264, x265): with --gpu the CRF list "
           "chooses a bit rate";
  }
  if (job.audio) return "--target-ssim is no option of --type wav";
  return {};
}

}  // namespace

std::string PathRefusal(const std::string& path, bool destination) {
  if (platform::ToolReadsAsProtocol(path)) return {};  // the encode request refuses it
  const platform::PathInfo info = platform::LookAt(path);
  if (!destination) {
    if (info.kind == platform::PathKind::kMissing) {
      return "cannot read the source " + Quoted(path) + ": " + platform::ErrorText(info.error);
    }
    if (info.kind == platform::PathKind::kFolder) {
      return "the source " + Quoted(path) + " is a folder, not a file";
    }
    return {};
  }
  if (info.kind == platform::PathKind::kFolder) {
    return "the destination " + Quoted(path) + " is a folder; name the file to write";
  }
  const auto slash = path.rfind(platform::kPathSeparator);
  const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
  if (platform::LookAt(folder).kind != platform::PathKind::kFolder) {
    return "the destination's folder " + Quoted(folder) + " does not exist";
  }
  return {};
}

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
    } else if (rule.kind == Kind::kSsim) {
      valueName = "X";
      description = "A target SSIM, such as 0.97, instead of --crf: a few samples of the source "
                    "are encoded and measured at positions of the CRF list, and the source is "
                    "encoded at the highest position (the smallest output) whose SSIM meets it. "
                    "Software encoders only.";
    } else if (rule.name == "deinterlace") {
      description = "Deinterlace the video (yadif).";
    } else {
      description = "Short GOP: a key frame at least every 8 frames (video sources).";
    }
    help.push_back({rule.name, valueName, std::move(description)});
  }
  return help;
}

std::string ReadEncodeOptions(const std::vector<GivenOption>& options,
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
      case Kind::kSsim: {
        char* end = nullptr;
        job.targetSsim = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !(job.targetSsim > 0 && job.targetSsim < 1)) {
          return option + " takes an SSIM between 0 and 1, such as 0.97, not " + Quoted(value);
        }
        break;
      }
    }
  }
  return TargetRefusal(job, seen);
}

encode::EncoderSettings SettingsOf(const OptionJob& job) {
  encode::EncoderSettings settings{job.outType, job.gpuType, job.profile, job.crf, job.fps,
                                   job.resize,  job.deinterlace, job.shortGop, false};
  settings.targetSsim = job.targetSsim;
  return settings;
}

std::string ReadJobOptions(const std::vector<GivenOption>& options,
                           const std::string& workingDirectory, OptionJob& job) {
  if (std::string refusal = ReadEncodeOptions(options, workingDirectory, job); !refusal.empty()) {
    return refusal;
  }
  if (job.source.empty() || job.destination.empty()) {
    return "an encode needs both --source PATH and --destination PATH";
  }
  return {};
}

std::string OneLine(std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return line;
}

}  // namespace vexlo::app
