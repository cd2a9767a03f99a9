#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "process/ProcessRunner.h"

namespace vexlo::process {

/// The two tools, expected in the program's directory.
inline constexpr std::string_view kEncoderTool = "ffmpeg.bin";
inline constexpr std::string_view kProberTool = "ffprobe.bin";

/// The first token of every tool command line: a double quote, the program directory, the path
/// separator, the tool's name, a double quote.
std::string QuotedToolPath(std::string_view programDir, std::string_view tool);

/// The notifications of one kind of job. `failure`, when set, is made in place of `error`, with
/// the reason of the failure.
struct JobNotifications {
  OutputNotification output = nullptr;
  CodeNotification started = nullptr;
  CodeNotification error = nullptr;
  CodeNotification finished = nullptr;
  FailureNotification failure = nullptr;
};

/// Creates a runner for the command line with the notifications, all given `context`, and
/// starts it; the tool runs in `workingDirectory` (empty: the program's current directory).
std::unique_ptr<ProcessRunner> StartJob(const std::string& commandLine,
                                        const JobNotifications& notifications, void* context,
                                        const std::string& workingDirectory = {});

}  // namespace vexlo::process
