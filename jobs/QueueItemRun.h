#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "jobs/Batch.h"
#include "jobs/QueueRunner.h"

// The queue's items run as the batch's items are, each on a worker thread, and their log lines.
namespace vexlo::jobs {

/// The queue's item runner: each item is one item of the command-line batch (RunBatchItem), so
/// it has the option form's command line with the item's own settings, writes to
/// NAME.vexlo-partial-PID.EXT, is read back, renamed into place or kept as NAME.incomplete.EXT;
/// a done item's output is then measured against its source (MeasureItem) for its quality.
/// The batch's item run waits for its tools, so each item runs on a worker thread of its own,
/// which calls the item's callbacks (QueueRunner posts them to the window's thread); several
/// items run side by side, each with its own stop. Every member is called on the window's thread.
class BatchItemRunner : public ItemRunner {
 public:
  /// Where the items' log lines go (any thread, one whole line at a time, tagged with the item's
  /// id): the item's start line, its command line, the tool's report lines, a failure's reason
  /// lines and its result line, each after "[N] " when the item was given a number.
  using Log = std::function<void(std::uint64_t item, std::string_view line)>;

  /// `model` gives the sources that no incomplete output may replace; the tools are in
  /// `programDir` and run there.
  BatchItemRunner(const QueueModel& model, std::string programDir, Log log);
  /// Stop().
  ~BatchItemRunner() override;
  BatchItemRunner(const BatchItemRunner&) = delete;
  BatchItemRunner& operator=(const BatchItemRunner&) = delete;

  std::string TemporaryPath(const QueueItem& item) override;
  void Start(const QueueItem& item, const ItemStart& start, ItemCallbacks callbacks) override;
  /// The batch's stop for the running item: its tool (or the read-back) is stopped and its
  /// temporary file removed; the item ends kCancelled.
  void Cancel(std::uint64_t id) override;
  /// Cancels every running item, then waits until their threads have ended (their ends called).
  void Stop();

 private:
  struct Worker {
    std::unique_ptr<BatchStop> stop;              // a stop, once asked, stays
    std::shared_ptr<std::atomic<bool>> finished;  // its thread has called the item's end
    std::thread thread;
  };
  /// Joins the threads of the items that have ended.
  void JoinFinished();

  const QueueModel& model_;
  const std::string programDir_;
  const Log log_;
  std::map<std::uint64_t, Worker> workers_;  // by item id
};

/// The log lines of a queue item: "##### QUEUE: SOURCE -> OUTPUT ######" when it starts, and
/// "##### QUEUE failed: SOURCE -> OUTPUT (1.2 s): REASON ######" when it ends (with CR LF), a
/// measured item's figures (QualityText) after its reason.
std::string QueueStartLine(const QueueItem& item);
std::string QueueEndLine(const QueueItem& item, const ItemEnd& end, double seconds);

}  // namespace vexlo::jobs
