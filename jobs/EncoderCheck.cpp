#include "jobs/EncoderCheck.h"

#include <algorithm>
#include <sstream>
#include <utility>

#include "encode/EncoderSettings.h"
#include "process/CommandLineBuilder.h"
#include "process/FailureReason.h"
#include "process/LogTexts.h"
#include "process/OutputLines.h"
#include "process/ToolCommand.h"

namespace vexlo::jobs {

namespace {

constexpr std::size_t kLinesHeld = 2000;  // an encoder listing has a few hundred
constexpr std::string_view kListing = " -hide_banner -encoders";

}  // namespace

std::string_view HardwareEncoderFor(int outputType, int gpu) {
  if (gpu != 1 && gpu != 2) return {};
  const bool h264 = encode::OutputTypeOf(outputType) == encode::OutputType::kH264;
  return kHardwareEncoders[(gpu == 2 ? 2 : 0) + (h264 ? 0 : 1)];
}

std::vector<std::string> ListedEncoders(const std::vector<std::string>& lines) {
  std::vector<std::string> names;
  for (const std::string& line : lines) {
    std::istringstream words(line);
    std::string flags, name;
    // " V....D name  description": six capability letters or dots, the first the media type.
    if (!(words >> flags >> name) || flags.size() != 6 || name == "=" ||
        flags.find_first_not_of("VASFXBD.") != std::string::npos ||
        std::string_view("VAS").find(flags[0]) == std::string_view::npos) {
      continue;
    }
    names.push_back(name);
  }
  return names;
}

std::string TellingLine(std::string_view encoder, const std::vector<std::string>& lines) {
  const std::string own = "[" + std::string(encoder) + " @";
  std::string lastOwn;
  std::string ownError;
  std::string firstError;
  for (const std::string& line : lines) {
    if (line.rfind(own, 0) == 0) {
      const auto end = line.find("] ");
      lastOwn = end == std::string::npos ? line : line.substr(end + 2);
      if (process::NamesAnError(lastOwn)) ownError = lastOwn;
    } else if (firstError.empty() && process::NamesAnError(line) &&
               line.find("Conversion failed") == std::string::npos) {
      firstError = line;
    }
  }
  if (!ownError.empty()) return ownError;
  return lastOwn.empty() ? firstError : lastOwn;
}

std::string EncoderLine(std::string_view encoder, const EncoderStatus& status) {
  std::string line = "##### ENCODER " + std::string(encoder) + ": ";
  switch (status.state) {
    case EncoderStatus::State::kWorks:
      line += "works";
      break;
    case EncoderStatus::State::kNotBuilt:
      line += "not built into this ffmpeg.bin";
      break;
    case EncoderStatus::State::kFails:
      line += "fails: " + status.reason;
      break;
  }
  return line + " ######\r\n";
}

std::string UnusableEncoderWarning(std::string_view encoder, const EncoderStatus& status) {
  const std::string found = status.state == EncoderStatus::State::kNotBuilt
                                ? "it is not built into this ffmpeg.bin"
                                : "it fails: " + status.reason;
  return "##### WARNING: The last encoder check found " + std::string(encoder) + " unusable (" +
         found + "); encoding with it all the same ######\r\n";
}

EncoderCheck::EncoderCheck(PostTask post, jobs::JobWindow& window)
    : window_(window), sequencer_(std::move(post)) {}

EncoderCheck::~EncoderCheck() {
  sequencer_.Stop();
}

void EncoderCheck::Start(const std::string& programDirectory) {
  if (Running()) return;
  programDirectory_ = programDirectory;
  running_ = true;
  step_ = 0;
  found_.clear();
  toTry_.assign(kHardwareEncoders.begin(), kHardwareEncoders.end());
  const std::string listing = process::CommandLineBuilder(programDirectory_).Add(kListing).Text();
  window_.flushLog();
  window_.logAppend(kStartLine);
  window_.logAppend(process::text::CommandLineLine(listing));
  SendProgress();
  RunStep(listing);
}

void EncoderCheck::Stop() {
  if (!Running()) return;
  sequencer_.Stop();  // the stopped step's end is dropped
  running_ = false;
  window_.logAppend(kEndLine);
  jobs::JobEnd end;
  end.kind = jobs::JobKind::kEncoderCheck;
  end.outcome = process::JobOutcome::kCancelled;
  window_.postJobEnd(std::move(end));
}

std::optional<EncoderStatus> EncoderCheck::LastResult(std::string_view encoder) const {
  const auto found = last_.find(encoder);
  if (found == last_.end()) return std::nullopt;
  return found->second;
}

void EncoderCheck::RunStep(const std::string& commandLine) {
  {
    std::lock_guard lock(mutex_);
    lines_.clear();
  }
  sequencer_.RunStep(
      commandLine, programDirectory_,
      [this](std::string_view chunk, process::KeptOutLines&) {
        std::lock_guard lock(mutex_);
        process::SplitChunkLines(chunk.data(), static_cast<int>(chunk.size()),
                                 [this](std::string_view line) {
                                   if (lines_.size() < kLinesHeld) lines_.emplace_back(line);
                                 });
      },
      [this](const process::ToolEnd& end) { StepEnded(end); });
}

void EncoderCheck::StepEnded(const process::ToolEnd& end) {
  std::vector<std::string> lines;
  {
    std::lock_guard lock(mutex_);
    lines.swap(lines_);
  }
  const std::string failure = end.finished() ? std::string() : process::HowItEnded(end.reason);
  if (step_++ == 0) {
    ListingEnded(lines, failure);
  } else {
    TrialEnded(lines, failure);
  }
}

void EncoderCheck::ListingEnded(const std::vector<std::string>& lines, const std::string& failure) {
  listed_ = ListedEncoders(lines);
  if (listed_.empty()) {
    const std::string why = "ffmpeg.bin listed no encoders (" +
                            (failure.empty() ? std::string("no listing") : failure) + ")";
    window_.logAppend("##### ENCODER CHECK: " + why + " ######\r\n");
    return Finish(why);
  }
  NextTrial();
}

void EncoderCheck::TrialEnded(const std::vector<std::string>& lines, const std::string& failure) {
  EncoderStatus status;
  const auto unknown = [](const std::string& line) {
    return line.find("Unknown encoder") != std::string::npos;
  };
  if (failure.empty()) {
    status.state = EncoderStatus::State::kWorks;
  } else if (std::any_of(lines.begin(), lines.end(), unknown)) {
    status.state = EncoderStatus::State::kNotBuilt;
  } else {
    status.state = EncoderStatus::State::kFails;
    status.reason = TellingLine(trying_, lines);
    if (status.reason.empty()) status.reason = "ffmpeg.bin " + failure;
  }
  window_.logAppend(EncoderLine(encode::TrialName(trying_), status));
  found_[trying_] = status;
  NextTrial();
}

void EncoderCheck::NextTrial() {
  while (!toTry_.empty()) {
    trying_ = toTry_.front();
    toTry_.erase(toTry_.begin());
    SendProgress();
    EncoderStatus missing{EncoderStatus::State::kNotBuilt, {}};
    if (std::find(listed_.begin(), listed_.end(), trying_) != listed_.end()) {
      missing = {EncoderStatus::State::kFails, encode::MissingDevice(trying_)};
      if (missing.reason.empty()) return RunStep(encode::EncoderTrial(programDirectory_, trying_));
    }
    window_.logAppend(EncoderLine(trying_, missing));
    found_[trying_] = missing;
  }
  Finish();
}

void EncoderCheck::Finish(const std::string& failure) {
  last_ = found_;
  running_ = false;
  window_.logAppend(kEndLine);
  window_.sendIndexProgress(100);
  window_.sendIndexDetail({});
  jobs::JobEnd end;
  end.kind = jobs::JobKind::kEncoderCheck;
  end.outcome = failure.empty() ? process::JobOutcome::kFinished : process::JobOutcome::kFailed;
  end.reason = failure;
  window_.postJobEnd(std::move(end));
}

void EncoderCheck::SendProgress() {
  // The listing and each encoder are one step; the step under way is not done yet.
  const std::size_t total = kHardwareEncoders.size() + 1;
  const std::size_t done = total - toTry_.size() - 1;
  window_.sendIndexProgress(static_cast<int>(done * 100 / total));
  window_.sendIndexDetail(step_ == 0 ? "Listing the encoders of ffmpeg.bin" : "Trying " + trying_);
}

}  // namespace vexlo::jobs
