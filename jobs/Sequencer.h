#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "hosts/DialogHost.h"
#include "process/ProcessRunner.h"
#include "process/ToolCommand.h"

namespace vexlo::jobs {

/// Runs tools one after the other on a runner of its own: the steps of one job (the encoder
/// check) or a run of many jobs. Each step's tool gets the step's own notifications and context;
/// once the tool has ended (its finished notification, or its start failure, has returned), the
/// step's end runs on the window's thread, after everything the notifications posted, with the
/// runner already gone, so the end may start the next step. Stop ends the sequence: the running
/// tool is stopped (its own notifications still run) and its step's end never runs; a
/// generation number tells a stopped step's end, posted already, from the current one's.
///
/// RunStep, Stop and the destructor run on the window's thread.
class Sequencer {
 public:
  explicit Sequencer(hosts::DialogHost& host) : host_(host) {}
  ~Sequencer() { Stop(); }
  Sequencer(const Sequencer&) = delete;
  Sequencer& operator=(const Sequencer&) = delete;

  /// Starts the tool of one step, in `workingDirectory`; `ended` runs on the window's thread
  /// once it has ended, unless the sequence is stopped first. No other step may be running.
  void RunStep(const std::string& commandLine, const process::JobNotifications& notifications,
               void* context, const std::string& workingDirectory, std::function<void()> ended);
  /// Stops the running step, if any; its end is dropped.
  void Stop();
  /// True from RunStep until the step's end runs or the sequence is stopped.
  bool StepRunning() const { return runner_ != nullptr; }

 private:
  static int OnOutput(const char* data, int length, void* context);
  static int OnStarted(int code, void* context);
  static int OnFailure(int code, const process::FailureReason& reason, void* context);
  static int OnFinished(int code, void* context);
  void PostEnd();
  void StepEnded(std::uint64_t generation);

  hosts::DialogHost& host_;
  // The running step: written on the window's thread before its runner exists, read by the
  // runner's notifications, never changed while the runner lives.
  process::JobNotifications step_;
  void* stepContext_ = nullptr;
  std::uint64_t stepGeneration_ = 0;
  std::function<void()> ended_;
  std::uint64_t generation_ = 0;  // grows with each step and each stop
  std::unique_ptr<process::ProcessRunner> runner_;
};

}  // namespace vexlo::jobs
