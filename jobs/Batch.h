#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "encode/EncoderSettings.h"
#include "jobs/BatchPlan.h"
#include "jobs/ItemState.h"
#include "platform/FileDescriptor.h"

// The command-line batch: many sources encoded in turn into one output folder, each by the same
// command line as the option form's encode, each output read back before it counts. It never
// reads or writes the settings and has no window.
namespace vexlo::jobs {

// What the batch is asked to do, its options already read.
struct BatchRequest {
  std::vector<std::string> sources;  // as given on the command line
  std::string sourcesFrom;           // a file with one source a line, "-" for standard input
  std::string outputDir;
  bool audio = false;                // the WAV of each source, by the audio row's command line
  encode::EncoderSettings settings;  // outType chooses H.264, H.265 or MPV
  ExistingOutput existing = ExistingOutput::kRefuse;
  bool report = false;  // the tool writes its report file when `settings` ask (the queue's items)
  bool json = false;             // one JSON object per item through BatchOutput::json
  bool measure = false;  // each done item's SSIM and PSNR against its source (not for audio)
  unsigned jobs = 1;  // items run side by side; 0 for auto (BatchSlots)
  std::optional<unsigned> gpuSessions;  // a hardware encoder's sessions at once; else the card's
  bool lowPriority = false;             // the tools run below the program's priority
  /// The memory free for a new item now (auto only); empty: the system's figure.
  std::function<std::optional<std::uint64_t>()> availableMemory;
  std::string programDir;        // where the tools are; they run there
  std::string workingDirectory;  // relative paths are taken from it
};

// Where the batch's words go. The functions are called on the batch's threads (one per running
// item) or on a runner's reader thread, never two at the same time: the batch holds one lock
// around each call, so a line is written whole.
struct BatchOutput {
  /// Each log line, with its CR LF: the tools' report lines, the command lines, the reasons, and
  /// one result line per item.
  std::function<void(std::string_view line)> log;
  /// Once the source's duration is known, on each of the tool's progress lines: how far it is in
  /// percent of that duration, and the duration in seconds.
  std::function<void(double percent, double durationSeconds)> progress;
  /// With BatchRequest::json: each item's result as one JSON object, without a line end.
  std::function<void(std::string_view object)> json;
  /// The one line (no line end) that refuses the batch before anything runs.
  std::function<void(std::string_view line)> refusal;
};

/// Output to descriptors: the log with LF line ends and "vexlo: " before a refusal to `logFd`
/// (standard error), each JSON object and a line feed to `jsonFd` (standard output).
BatchOutput DescriptorOutput(int logFd, int jsonFd);

/// An item's own output when several run at once: its log lines begin with "[N] ".
BatchOutput NumberedOutput(const BatchOutput& output, std::size_t number);

// A request to stop the batch, which a signal handler may make (SIGINT, SIGTERM): the running
// tool is stopped, its temporary file removed, and the items after it are not started.
class BatchStop {
 public:
  BatchStop();
  BatchStop(const BatchStop&) = delete;
  BatchStop& operator=(const BatchStop&) = delete;

  /// Asks for the stop. Async-signal-safe: an atomic store and one write to a pipe.
  void Request() noexcept;
  bool requested() const { return requested_.load(); }
  /// Readable once the stop has been asked for; the batch only watches it.
  const platform::UniqueFd& watch() const { return pipe_.read; }

 private:
  std::atomic<bool> requested_{false};
  platform::Pipe pipe_;
};

/// Runs the batch, up to `request.jobs` items side by side (each on its own thread; with more
/// than one, each item's log lines begin with "[N] ", N its position in the input, and each
/// running item's tool gets its share of the processors), and returns the program's exit status: 0 when every item was done or skipped,
/// 1 when one failed, 2 when the batch was refused before anything ran (no sources, a list of
/// sources that cannot be read, an output folder that is not one, two sources that make the same
/// output), 130 when it was stopped. Before the first item it removes the temporary files that
/// runs which have ended left in the output folder.
int RunBatch(const BatchRequest& request, const BatchOutput& output, BatchStop& stop);

}  // namespace vexlo::jobs
