#include "jobs/BatchSchedule.h"

#include <algorithm>

namespace vexlo::jobs {

namespace {

constexpr std::uint64_t kBaseBytes = 96ull << 20;

// How many frames the item's encoder holds at once.
std::uint64_t FramesHeld(const encode::EncoderSettings& settings, bool audio) {
  if (audio || settings.gpuType != 0) return 16;
  return settings.outType == 0 ? 40 : 120;
}

}  // namespace

std::uint64_t EstimatedItemMemory(const SourcePicture& picture,
                                  const encode::EncoderSettings& settings, bool audio) {
  const std::uint64_t sampleBytes = picture.bitDepth > 8 ? 2 : 1;
  const std::uint64_t frameBytes = static_cast<std::uint64_t>(std::max(picture.width, 1)) *
                                   static_cast<std::uint64_t>(std::max(picture.height, 1)) *
                                   sampleBytes * 3 / 2;
  return kBaseBytes + frameBytes * FramesHeld(settings, audio);
}

BatchSlots::BatchSlots(unsigned jobs, unsigned processors, unsigned hardwareSessions)
    : width_(jobs == 0 ? std::max(processors, 1u) : jobs), watchMemory_(jobs == 0) {
  if (hardwareSessions > 0) width_ = std::min(width_, hardwareSessions);
}

bool BatchSlots::MayStart(std::uint64_t estimate, std::optional<std::uint64_t> available) const {
  return running_ < width_ && Fits(estimate, available);
}

bool BatchSlots::Fits(std::uint64_t estimate, std::optional<std::uint64_t> available) const {
  if (!watchMemory_ || running_ == 0 || !available) return true;
  return *available > committed_ && estimate <= *available - committed_;
}

void BatchSlots::Started(std::uint64_t estimate) {
  ++running_;
  committed_ += estimate;
}

void BatchSlots::Ended(std::uint64_t estimate) {
  --running_;
  committed_ -= estimate;
}

unsigned HardwareSessions(const encode::EncoderSettings& settings, bool audio,
                          std::optional<unsigned> given) {
  if (audio || settings.gpuType == 0) return 0;
  if (given) return *given;
  return settings.gpuType == 1 ? kNvidiaSessions : kAmdSessions;
}

unsigned ItemThreads(unsigned processors, std::size_t sideBySide) {
  if (sideBySide <= 1) return 0;
  return std::max(1u, processors / static_cast<unsigned>(sideBySide));
}

std::string WithThreads(const std::string& commandLine, const std::string& output,
                        unsigned threads, bool x265) {
  const std::string count = std::to_string(threads);
  std::string line = commandLine;
  const std::string quotedOutput = " \"" + output + "\"";
  if (!output.empty() && line.ends_with(quotedOutput)) {
    std::string encoder = " -threads " + count;
    if (x265) encoder += " -x265-params pools=" + count;
    line.insert(line.size() - quotedOutput.size(), encoder);
  }
  if (const auto input = line.find(" -i \""); input != std::string::npos) {
    line.insert(input, " -threads " + count);
  }
  return line;
}

}  // namespace vexlo::jobs
