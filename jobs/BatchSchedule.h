#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "encode/EncoderSettings.h"

// How the command-line batch runs several items side by side: how many at once, whether one more
// may start now, and each running item's share of the processors. Plain decisions: the batch
// gives the machine's figures (platform/SystemResources.h) and starts the items.
namespace vexlo::jobs {

/// Hardware encoder sessions one card gives at once when the batch is not told otherwise.
inline constexpr unsigned kNvidiaSessions = 3;
inline constexpr unsigned kAmdSessions = 2;

/// A source's picture as far as it is known: without it the estimate takes a 3840x2160 10-bit one.
struct SourcePicture {
  int width = 3840;
  int height = 2160;
  int bitDepth = 10;
};

/// The memory one item's tool is estimated to take at its peak, in bytes: a base of 96 MiB (the
/// tool, its libraries and buffers) plus the frames the encoder holds, each 4:2:0 picture being
/// width x height x 1.5 samples of 1 byte (8 bits) or 2 (more), and the frames held being 40 for
/// x264 (its reference and thread frames), 120 for x265 (its lookahead, frame threads and the
/// analysis it keeps per picture: a 1080p encode peaked at 458 MiB) and 16 for a hardware
/// encoder or a WAV extraction's decoder.
std::uint64_t EstimatedItemMemory(const SourcePicture& picture,
                                  const encode::EncoderSettings& settings, bool audio);

/// The slots of a batch: how many items may run side by side and whether one more may start.
class BatchSlots {
 public:
  /// `jobs`: the items at once, 0 for auto (as many as `processors`, and each start waits for
  /// its memory); `hardwareSessions`: the encoder sessions of the batch's card, 0 for a software
  /// encoder.
  BatchSlots(unsigned jobs, unsigned processors, unsigned hardwareSessions);

  /// The most items that ever run at once.
  unsigned width() const { return width_; }
  unsigned running() const { return running_; }
  /// Whether an item estimated at `estimate` bytes may start now, with `available` bytes free
  /// (nothing: unknown). In auto, the estimate must fit in what is free less what the running
  /// items were estimated at (they may not have reached their peak yet); an item that does not
  /// fit starts only when nothing runs, so a large source waits but never blocks the batch.
  bool MayStart(std::uint64_t estimate, std::optional<std::uint64_t> available) const;
  /// The memory part of MayStart alone: whether the estimate fits beside the running items.
  bool Fits(std::uint64_t estimate, std::optional<std::uint64_t> available) const;
  void Started(std::uint64_t estimate);
  void Ended(std::uint64_t estimate);

 private:
  unsigned width_;
  bool watchMemory_;
  unsigned running_ = 0;
  std::uint64_t committed_ = 0;  // the running items' estimates
};

/// The hardware sessions of the batch's encoder: 0 for a software one, else `given` or the card's
/// default.
unsigned HardwareSessions(const encode::EncoderSettings& settings, bool audio,
                          std::optional<unsigned> given);

/// An item's share of the processors when `sideBySide` items are to run together (the running
/// ones, this one included, and those that will join them while slots are free): 0 when it is
/// alone, which leaves its command line whole, else processors / sideBySide and at least 1.
unsigned ItemThreads(unsigned processors, std::size_t sideBySide);

/// The encode's command line with its threads bounded to `threads`: the decoder's (-threads
/// before -i) and, for a video encode, the encoder's (-threads before the output, and for x265
/// also -x265-params pools=N). `output` is the line's last argument as it was quoted into it;
/// an empty one bounds the decoder alone.
std::string WithThreads(const std::string& commandLine, const std::string& output,
                        unsigned threads, bool x265);

}  // namespace vexlo::jobs
