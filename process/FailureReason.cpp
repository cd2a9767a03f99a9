#include "process/FailureReason.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/Characters.h"
#include "platform/SystemError.h"

namespace vexlo::process {

namespace {

constexpr std::string_view kPrefix = "##### REASON: ";
constexpr std::string_view kSuffix = " ######\r\n";

// Words with which tools name a failure, in lower case.
constexpr std::string_view kErrorWords[] = {
    "error",        "fail",          "cannot",           "can't",
    "could not",    "unable",        "invalid",          "unknown",
    "no such",      "not found",     "denied",           "not supported",
    "unsupported",  "incompatible",  "not compatible",   "refused",
    "corrupt",      "out of memory", "does not contain", "not divisible",
    "no space left", "is a directory", "not a directory"};

bool IsKeyCharacter(char c) {
  return platform::IsAlnum(c) || c == '_' || c == '-' || c == '.';
}

std::string Line(std::string_view text) {
  std::string line(kPrefix);
  line += text;
  line += kSuffix;
  return line;
}

}  // namespace

std::string_view ToolName(std::string_view program) {
  const auto slash = program.find_last_of("/\\");
  return slash == std::string_view::npos ? program : program.substr(slash + 1);
}

bool IsToolBanner(std::string_view line) {
  if (line.starts_with("ffmpeg version ") || line.starts_with("ffprobe version ")) return true;
  std::size_t at = 0;
  while (at < line.size() && platform::IsBlank(line[at])) ++at;
  if (at == 0) return false;  // the banner's other lines are indented
  const std::string_view rest = line.substr(at);
  if (rest.starts_with("built with ") || rest.starts_with("configuration:")) return true;
  // "libavcodec     59. 37.100 / 59. 37.100": a library's name, blanks, then its version.
  if (!rest.starts_with("lib")) return false;
  std::size_t end = 3;
  while (end < rest.size() && platform::IsAlnum(rest[end])) ++end;
  const std::size_t nameEnd = end;
  while (end < rest.size() && platform::IsBlank(rest[end])) ++end;
  return end > nameEnd && end < rest.size() && rest[end] >= '0' && rest[end] <= '9' &&
         rest.find(" / ") != std::string_view::npos;
}

std::vector<std::string> ReasonLines(const FailureReason& reason) {
  std::vector<std::string> lines;
  for (const std::string& toolLine : reason.lastLines) lines.push_back(Line(toolLine));
  const std::string tool(ToolName(reason.program));
  if (reason.startError != 0) {
    lines.push_back(
        Line(reason.program + " could not be started: " + platform::ErrorText(reason.startError)));
    return lines;
  }
  if (reason.silence.count() > 0) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f",
                  static_cast<double>(reason.silence.count()) / 1000);
    lines.push_back(Line(tool + " wrote nothing for " + seconds + " s: stopped by the watchdog"));
  }
  if (reason.signal != 0) {
    lines.push_back(Line(tool + " was ended by signal " + std::to_string(reason.signal) + " (" +
                         platform::SignalText(reason.signal) + ")"));
  } else if (reason.exitCode != 0) {
    lines.push_back(Line(tool + " exited with code " + std::to_string(reason.exitCode)));
  }
  return lines;
}

bool IsStreamMetadata(std::string_view line) {
  std::size_t at = 0;
  while (at < line.size() && platform::IsBlank(line[at])) ++at;
  const std::string_view rest = line.substr(at);
  if (rest.starts_with("Metadata:") || rest.starts_with("Side data:")) return true;
  if (at == 0) return false;  // the tool's own messages start at the line's start
  std::size_t key = at;
  while (key < line.size() && IsKeyCharacter(line[key])) ++key;
  if (key == at) return false;
  while (key < line.size() && platform::IsBlank(line[key])) ++key;
  return key < line.size() && line[key] == ':';
}

bool NamesAnError(std::string_view line) {
  // FFmpeg's closing figures ("video:24kB audio:0kB ... muxing overhead: unknown") end every run.
  if (line.find("muxing overhead: ") != std::string_view::npos) return false;
  std::string lower(line);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return std::any_of(std::begin(kErrorWords), std::end(kErrorWords),
                     [&](std::string_view word) { return lower.find(word) != std::string::npos; });
}

bool NamesAWriteFailure(std::string_view line) {
  // The tool's own words, as FFmpeg and the C library write them; a plain search, since every
  // line the log does not show passes here.
  constexpr std::string_view kWriteFailures[] = {"Error writing trailer", "Error closing file",
                                                 "No space left on device", "Disk quota exceeded"};
  return std::any_of(std::begin(kWriteFailures), std::end(kWriteFailures),
                     [&](std::string_view words) { return line.find(words) != line.npos; });
}

void KeptOutLines::Keep(std::string_view line) {
  // The tool's banner and the source's properties are never why a run failed.
  if (IsStreamMetadata(line) || IsToolBanner(line)) return;
  const bool writeFailure = NamesAWriteFailure(line);
  std::lock_guard lock(mutex_);
  writeFailed_ = writeFailed_ || writeFailure;
  ring_[count_ % kHeld].assign(line);
  ++count_;
}

std::vector<std::string> KeptOutLines::Pick() const {
  std::lock_guard lock(mutex_);
  const std::size_t held = std::min(count_, kHeld);
  // By age, newest first. The lines that name an error come before the others; the others fill
  // up with what the tool wrote after its first complaint (its own explanation), or, when it named
  // no error, with its last lines. What came before a complaint (a banner, the stream list) is
  // not the reason.
  std::vector<std::size_t> errors;
  std::vector<std::size_t> others;
  std::size_t oldestError = held;
  for (std::size_t age = 0; age < held; ++age) {
    if (errors.size() < FailureReason::kLineLimit && NamesAnError(ring_[Slot(age)])) {
      errors.push_back(age);
      oldestError = age;
    }
  }
  for (std::size_t age = 0; age < held && errors.size() + others.size() < FailureReason::kLineLimit;
       ++age) {
    if (errors.empty() || (age < oldestError && !NamesAnError(ring_[Slot(age)]))) {
      others.push_back(age);
    }
  }
  std::vector<std::string> picked;
  for (auto group : {&errors, &others}) {
    for (auto age = group->rbegin(); age != group->rend(); ++age)
      picked.push_back(ring_[Slot(*age)]);
  }
  return picked;
}

bool KeptOutLines::WriteFailed() const {
  std::lock_guard lock(mutex_);
  return writeFailed_;
}

void KeptOutLines::Clear() {
  std::lock_guard lock(mutex_);
  count_ = 0;
  writeFailed_ = false;
}

}  // namespace vexlo::process
