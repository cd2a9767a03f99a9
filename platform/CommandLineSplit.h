#pragma once

#include <string>
#include <string_view>
#include <vector>

// A tool command line split into its arguments.

namespace vexlo::platform {

/// Splits a tool command line into its arguments by the rule the command-line builders write
/// them with: blanks (space, tab) separate arguments, double quotes group blanks into one
/// argument and are removed, and there are no escapes (a backslash is an ordinary character).
/// A pair of quotes with nothing between them gives an empty argument; a quote left open runs
/// to the end of the text.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

}  // namespace vexlo::platform
