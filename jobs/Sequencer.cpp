#include "jobs/Sequencer.h"

#include <utility>

namespace vexlo::jobs {

void Sequencer::RunStep(const std::string& commandLine,
                        const process::JobNotifications& notifications, void* context,
                        const std::string& workingDirectory, std::function<void()> ended) {
  step_ = notifications;
  stepContext_ = context;
  stepGeneration_ = ++generation_;
  ended_ = std::move(ended);
  // The failure notification is always taken, so that a start failure, which has no finished
  // notification, still ends the step; it hands on to the step's failure or error notification.
  const process::JobNotifications forwarding{OnOutput, OnStarted, nullptr, OnFinished, OnFailure};
  runner_ = process::StartJob(commandLine, forwarding, this, workingDirectory);
}

void Sequencer::Stop() {
  ++generation_;  // an end posted already is dropped
  ended_ = nullptr;
  runner_.reset();  // stops the tool; the step's own notifications run meanwhile
}

int Sequencer::OnOutput(const char* data, int length, void* context) {
  auto& sequencer = *static_cast<Sequencer*>(context);
  return sequencer.step_.output ? sequencer.step_.output(data, length, sequencer.stepContext_) : 0;
}

int Sequencer::OnStarted(int code, void* context) {
  auto& sequencer = *static_cast<Sequencer*>(context);
  return sequencer.step_.started ? sequencer.step_.started(code, sequencer.stepContext_) : 0;
}

int Sequencer::OnFailure(int code, const process::FailureReason& reason, void* context) {
  auto& sequencer = *static_cast<Sequencer*>(context);
  if (sequencer.step_.failure) {
    sequencer.step_.failure(code, reason, sequencer.stepContext_);
  } else if (sequencer.step_.error) {
    sequencer.step_.error(code, sequencer.stepContext_);
  }
  if (code == process::kErrorStartFailed) sequencer.PostEnd();
  return 0;
}

int Sequencer::OnFinished(int code, void* context) {
  auto& sequencer = *static_cast<Sequencer*>(context);
  if (sequencer.step_.finished) sequencer.step_.finished(code, sequencer.stepContext_);
  sequencer.PostEnd();
  return 0;
}

void Sequencer::PostEnd() {
  host_.post([this, generation = stepGeneration_] { StepEnded(generation); });
}

void Sequencer::StepEnded(std::uint64_t generation) {
  if (generation != generation_) return;
  runner_.reset();  // its tool has ended: this only joins its threads
  if (auto ended = std::exchange(ended_, nullptr)) ended();
}

}  // namespace vexlo::jobs
