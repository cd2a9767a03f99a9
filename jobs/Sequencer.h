#pragma once

// Tools run one after the other on a runner of its own, each step's end on the window's thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "jobs/JobEnd.h"
#include "process/ProcessRunner.h"

namespace vexlo::jobs {

/// Runs tools one after the other on a runner of its own: the steps of one job (the encoder
/// check). Each step's tool gives its output to the step's `output` on the runner's thread; once
/// the tool has ended, the step's `ended` runs on the window's thread with how it ended, after
/// everything the step posted before, with the runner already gone, so it may start the next
/// step. Stop ends the sequence: the running tool is stopped and its step's end never runs; a
/// generation number tells a stopped step's end, posted already, from the current one's.
///
/// RunStep, Stop and the destructor run on the window's thread.
class Sequencer {
 public:
  using Output = std::function<void(std::string_view chunk, process::KeptOutLines& keptOut)>;
  using Ended = std::function<void(const process::ToolEnd& end)>;

  explicit Sequencer(PostTask post) : post_(std::move(post)) {}
  ~Sequencer() { Stop(); }
  Sequencer(const Sequencer&) = delete;
  Sequencer& operator=(const Sequencer&) = delete;

  /// Starts the tool of one step, in `workingDirectory`. No other step may be running.
  void RunStep(const std::string& commandLine, const std::string& workingDirectory, Output output,
               Ended ended);
  /// Stops the running step, if any; its end is dropped.
  void Stop();
  /// True from RunStep until the step's end runs or the sequence is stopped.
  bool StepRunning() const { return runner_ != nullptr; }

 private:
  void StepEnded(std::uint64_t generation, const process::ToolEnd& end);

  PostTask post_;
  Ended ended_;
  std::uint64_t generation_ = 0;  // grows with each step and each stop
  std::unique_ptr<process::ProcessRunner> runner_;
};

}  // namespace vexlo::jobs
