#pragma once

#include <string>

// The system's error texts.

namespace vexlo::platform {

/// The system's text for an errno value ("No such file or directory"). Thread-safe.
std::string ErrorText(int error);

/// The system's description of a signal ("Killed"), or "signal N" when it has none. Thread-safe.
std::string SignalText(int signal);

}  // namespace vexlo::platform
