#include "jobs/Sequencer.h"

#include <utility>

#include "process/ToolCommand.h"

namespace vexlo::jobs {

void Sequencer::RunStep(const std::string& commandLine, const std::string& workingDirectory,
                        Output output, Ended ended) {
  ended_ = std::move(ended);
  process::ToolWatch watch;
  watch.output = std::move(output);
  watch.ended = [this, generation = ++generation_](const process::ToolEnd& end) {
    post_([this, generation, end] { StepEnded(generation, end); });
  };
  runner_ = process::StartTool(commandLine, std::move(watch), workingDirectory);
}

void Sequencer::Stop() {
  ++generation_;  // an end posted already is dropped
  ended_ = nullptr;
  runner_.reset();  // stops the tool
}

void Sequencer::StepEnded(std::uint64_t generation, const process::ToolEnd& end) {
  if (generation != generation_) return;
  runner_.reset();  // its tool has ended: this only joins its threads
  if (auto ended = std::exchange(ended_, nullptr)) ended(end);
}

}  // namespace vexlo::jobs
