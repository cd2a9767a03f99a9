#pragma once

// The standard streams: made safe against closed or vanished ones, and written whole.

namespace vexlo::platform {

/// Makes the program safe against closed or vanished standard streams (`vexlo ... | true`,
/// `2>&-`): a write to a pipe whose reader has gone fails with EPIPE instead of killing the
/// program with SIGPIPE, and a standard descriptor that is closed at start is opened on
/// /dev/null, so that no file opened later takes its number and receives what is written to
/// standard output or error. Call once at the very start of the program. Tools started later
/// get SIGPIPE at its default action again.
void ProtectStandardStreams();

}  // namespace vexlo::platform
