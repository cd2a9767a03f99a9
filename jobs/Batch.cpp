#include "jobs/Batch.h"


#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "jobs/BatchItemRun.h"
#include "jobs/BatchSchedule.h"
#include "jobs/TargetItemRun.h"
#include "jobs/QualityMeasure.h"
#include "jobs/SourcePicture.h"
#include "platform/FileOperations.h"
#include "platform/Paths.h"
#include "platform/Processes.h"
#include "platform/SystemError.h"
#include "platform/SystemResources.h"

namespace vexlo::jobs {

namespace {

// The whole of a file, or of standard input for "-"; nothing when it cannot be read.
std::optional<std::string> ReadList(const std::string& path) {
  const bool standardInput = path == "-";
  std::FILE* file = standardInput ? stdin : std::fopen(path.c_str(), "rb");
  if (file == nullptr) return std::nullopt;
  std::string text;
  char block[4096];
  std::size_t got = 0;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0) text.append(block, got);
  const bool failed = std::ferror(file) != 0;
  if (!standardInput) std::fclose(file);
  if (failed) return std::nullopt;
  return text;
}

// Every source of the request, or why they cannot be known.
std::optional<std::string> CollectSources(const BatchRequest& request,
                                          std::vector<std::string>& sources) {
  sources = request.sources;
  if (!request.sourcesFrom.empty()) {
    const std::string path =
        request.sourcesFrom == "-"
            ? request.sourcesFrom
            : platform::FromWorkingDirectory(request.sourcesFrom, request.workingDirectory);
    errno = 0;
    const std::optional<std::string> text = ReadList(path);
    if (!text) {
      return "cannot read the list of sources " + request.sourcesFrom + ": " +
             platform::ErrorText(errno != 0 ? errno : EIO);
    }
    for (std::string& line : SourceListLines(*text)) sources.push_back(std::move(line));
  }
  if (sources.empty()) return "a batch needs at least one source";
  return std::nullopt;
}

// Why the output folder cannot take the batch, or nothing.
std::optional<std::string> FolderProblem(const BatchRequest& request) {
  if (request.outputDir.empty()) return "a batch needs --output-dir FOLDER";
  const std::string folder =
      platform::FromWorkingDirectory(request.outputDir, request.workingDirectory);
  if (platform::LookAt(folder).kind != platform::PathKind::kFolder) {
    return "the output folder " + request.outputDir + " is not an existing folder";
  }
  if (!platform::PathIsSafeForCommandLine(folder)) {
    return "the output folder " + request.outputDir +
           " cannot be given to a tool (a double quote, or a name FFmpeg reads as a protocol)";
  }
  return std::nullopt;
}

// Removes the temporary files of runs that have ended (killed before they could remove them);
// a running batch's own, over the same folder, are left to it.
void RemoveLeftovers(const std::string& folder, const BatchOutput& output) {
  const long self = platform::CurrentProcessId();
  for (const std::string& name : platform::FolderEntries(folder)) {
    const std::optional<long> owner = TemporaryOwner(name);
    if (!owner || (*owner != self && platform::ProcessExists(*owner))) continue;
    std::string path = folder;
    if (path.back() != platform::kPathSeparator) path += platform::kPathSeparator;
    if (platform::DeleteFile(path + name) == 0 && output.log) {
      output.log("##### BATCH: removed " + name + ", left by a run that has ended ######\r\n");
    }
  }
}

// Tells one item's result: its log line and, when asked, its JSON line.
void Report(const ItemResult& result, std::size_t number, std::size_t count,
            const BatchRequest& request, const BatchOutput& output) {
  if (output.log) output.log(ResultLogLine(result, number, count));
  if (request.json && output.json) output.json(ResultJson(result));
}

// The output with each call under `writing`: the items' threads never write two lines into
// one another.
BatchOutput LockedOutput(const BatchOutput& output, std::mutex& writing) {
  BatchOutput locked;
  const auto guard = [&writing]<typename F>(const F& call) {
    return call ? F([&writing, call](auto... values) {
      const std::lock_guard hold(writing);
      call(values...);
    })
                : F();
  };
  locked.log = guard(output.log);
  locked.progress = guard(output.progress);
  locked.json = guard(output.json);
  locked.refusal = guard(output.refusal);
  return locked;
}

// Runs one item of the batch to its result, measured when asked.
ItemResult RunOne(const BatchRun& run, std::size_t at) {
  const bool target = run.request.settings.targetSsim > 0;  // which measures its own output
  ItemResult result =
      target ? RunTargetItem(run.items[at], run) : RunBatchItem(run.items[at], run);
  if (run.request.measure && !target && result.state == ItemState::kDone) {
    result.quality = MeasureItem(run.items[at], run.request, run.stop);
  }
  result.index = at + 1;
  return result;
}

// Runs the items, up to the slots' width at once, each on a thread of its own, and reports each
// as it ends; the items a stop kept from starting are reported last, as not started. The results
// are in the order they were reported.
std::vector<ItemResult> RunItems(const BatchRequest& request, const BatchOutput& output,
                                 BatchStop& stop, const std::vector<BatchItem>& items) {
  const unsigned processors = platform::ProcessorCount();
  BatchSlots slots(request.jobs, processors,
                   HardwareSessions(request.settings, request.audio, request.gpuSessions));
  const auto available = [&request] {
    return request.availableMemory ? request.availableMemory() : platform::AvailableMemoryBytes();
  };
  std::mutex lock;  // guards slots and results
  std::condition_variable ended;
  std::vector<ItemResult> results;
  std::vector<std::thread> workers;
  std::size_t next = 0;
  for (; next < items.size(); ++next) {
    // In auto, each start waits for the memory its source's picture needs. The source is probed
    // only when the largest picture's estimate would not fit now: a probe costs a tool's start,
    // which for short clips is a good part of an encode. With a given number of items at once
    // nothing is probed, and every estimate is the largest picture's.
    std::uint64_t estimate = EstimatedItemMemory({}, request.settings, request.audio);
    if (request.jobs == 0 && !stop.requested()) {
      std::unique_lock held(lock);
      const bool fits = slots.Fits(estimate, slots.running() > 0 ? available() : std::nullopt);
      held.unlock();
      if (!fits) {
        const SourcePicture picture =
            ProbeSourcePicture(request.programDir, items[next].sourcePath, stop.watch());
        estimate = EstimatedItemMemory(picture, request.settings, request.audio);
      }
    }
    std::unique_lock held(lock);
    // Polled: a stop comes from a signal handler, and free memory changes by itself.
    while (!stop.requested() &&
           !slots.MayStart(estimate, slots.running() > 0 ? available() : std::nullopt)) {
      ended.wait_for(held, std::chrono::milliseconds(100));
    }
    if (stop.requested()) break;
    slots.Started(estimate);
    // One item alone keeps its whole command line; side by side, each takes its share.
    const std::size_t sideBySide = std::min<std::size_t>(
        slots.width(), slots.running() + (items.size() - next - 1));
    const unsigned threads = ItemThreads(processors, sideBySide);
    held.unlock();
    workers.emplace_back([&, at = next, threads, estimate] {
      const BatchOutput own = slots.width() > 1 ? NumberedOutput(output, at + 1) : output;
      // Side by side, the slot is the tool's: once it has ended, the next item's tool may start
      // while this item's output is read back (a read costs little), so the processors stay
      // busy. A measured item (and one encoded for a target SSIM, measured too) keeps its slot,
      // its measurement being a tool as heavy as an encode. One at a time stays one at a time.
      bool released = false;  // under `lock`
      const auto release = [&] {
        if (std::exchange(released, true)) return;
        slots.Ended(estimate);
        ended.notify_all();
      };
      BatchRun run{request, own, stop, items, threads};
      if (slots.width() > 1 && !request.measure && request.settings.targetSsim <= 0) {
        run.toolEnded = [&] {
          const std::lock_guard hold(lock);
          release();
        };
      }
      ItemResult result = RunOne(run, at);
      const std::lock_guard hold(lock);
      Report(result, at + 1, items.size(), request, output);
      results.push_back(std::move(result));
      release();
    });
  }
  for (std::thread& worker : workers) worker.join();
  for (; next < items.size(); ++next) {
    ItemResult result;
    result.source = items[next].source;
    result.output = items[next].output;
    result.index = next + 1;
    Report(result, next + 1, items.size(), request, output);
    results.push_back(std::move(result));
  }
  return results;
}

}  // namespace

BatchOutput NumberedOutput(const BatchOutput& output, std::size_t number) {
  BatchOutput numbered = output;
  if (output.log) {
    numbered.log = [log = output.log, prefix = "[" + std::to_string(number) + "] "](
                       std::string_view line) { log(prefix + std::string(line)); };
  }
  return numbered;
}

BatchStop::BatchStop() {
  // Without its pipe a stop is still seen between items, through the flag.
  [[maybe_unused]] const int failed =
      platform::MakePipe(pipe_, platform::PipeBlocking::kNeitherBlocks);
}

void BatchStop::Request() noexcept {
  const int savedErrno = errno;  // a signal handler must leave errno as it found it
  requested_.store(true);
  if (pipe_.write.valid()) platform::SignalWakeUp(pipe_.write);
  errno = savedErrno;
}

BatchOutput DescriptorOutput(int logFd, int jsonFd) {
  BatchOutput output;
  output.log = [logFd](std::string_view line) {
    std::string text(line);
    if (text.ends_with("\r\n")) text.erase(text.size() - 2, 1);
    [[maybe_unused]] const int failed = platform::WriteAll(logFd, text);
  };
  output.json = [jsonFd](std::string_view object) {
    [[maybe_unused]] const int failed = platform::WriteAll(jsonFd, std::string(object) + "\n");
  };
  output.refusal = [logFd](std::string_view line) {
    [[maybe_unused]] const int failed =
        platform::WriteAll(logFd, "vexlo: " + std::string(line) + "\n");
  };
  return output;
}

int RunBatch(const BatchRequest& request, const BatchOutput& output, BatchStop& stop) {
  std::vector<std::string> sources;
  // A list or a folder that is not there is the files' fault (1): the same command may work once
  // they are; a plan that no files could make work (two sources with one output) is the command's
  // (2).
  std::optional<std::string> refusal = CollectSources(request, sources);
  if (!refusal) refusal = FolderProblem(request);
  int status = 1;
  BatchPlan plan;
  if (!refusal) {
    plan = PlanBatch(sources, request.outputDir,
                     BatchExtension(request.audio, request.settings.outType),
                     request.workingDirectory, platform::CurrentProcessId());
    if (!plan.refusal.empty()) refusal = plan.refusal, status = 2;
  }
  if (refusal) {
    if (output.refusal) output.refusal(*refusal);
    return status;
  }
  RemoveLeftovers(platform::FromWorkingDirectory(request.outputDir, request.workingDirectory),
                  output);
  std::mutex writing;
  const BatchOutput locked = LockedOutput(output, writing);
  std::vector<ItemResult> results = RunItems(request, locked, stop, plan.items);
  if (output.log) output.log(SummaryLogLine(results));
  return BatchExitStatus(results, stop.requested());
}

}  // namespace vexlo::jobs
