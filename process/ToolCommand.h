#pragma once

// The tools' names and paths on a command line, and StartTool, the asynchronous face of a run.

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

/// The asynchronous face of a tool run: creates a runner for the command line with `watch`
/// and starts it; the tool runs in `workingDirectory` (empty: the program's current directory).
/// The runner's owner keeps it and stops or closes it on its own thread.
std::unique_ptr<ProcessRunner> StartTool(const std::string& commandLine, ToolWatch watch,
                                         const std::string& workingDirectory = {});

}  // namespace vexlo::process
