#pragma once

#include <string>
#include <string_view>

#include "platform/Paths.h"

// Log lines that more than one job writes. Every text is appended exactly as it stands.
namespace vexlo::process::text {

inline constexpr std::string_view kSameFile =
    "##### ERROR: Origin and destination files are the same  ######\r\n";
inline constexpr std::string_view kOriginNotSpecified =
    "##### ERROR: Origin file not specified.  ######\r\n";
inline constexpr std::string_view kRequestStopConversion =
    "##### REQUEST STOP CURRENT CONVERSION..... ######\r\n";
inline constexpr std::string_view kRequestStopIndexing =
    "##### REQUEST STOP CURRENT INDEXING..... ######\r\n";
inline constexpr std::string_view kStopConversion = "##### STOP CURRENT CONVERSION..... ######\r\n";
inline constexpr std::string_view kStopIndexing = "##### STOP CURRENT INDEXING..... ######\r\n";
inline constexpr std::string_view kCancel = "##### CANCEL #####\r\n";
#ifdef _WIN32
// The paths are text in the system's ANSI code page there.
inline constexpr std::string_view kNameNotUtf8 =
    "##### ERROR: The chosen file's name holds a character that the system's code page cannot "
    "hold and cannot be used; rename it  ######\r\n";
#else
inline constexpr std::string_view kNameNotUtf8 =
    "##### ERROR: The chosen file's name is not valid UTF-8 and cannot be used; rename it  "
    "######\r\n";
#endif

/// The line that follows a job's start line: the tool's command line as it was run. Nothing for
/// an empty command line (a job started without one, as in the notifications' own tests).
inline std::string CommandLineLine(std::string_view commandLine) {
  if (commandLine.empty()) return {};
  return "##### COMMAND: " + std::string(commandLine) + " ######\r\n";
}

/// The refusal of a path that cannot be handed to a tool safely: a prefix the tool would read as
/// a protocol ("file:", "pipe:"), or a double quote in it, or a leading '-' that the tool would
/// take for an option.
inline std::string UnusablePath(std::string_view path) {
  if (platform::ToolReadsAsProtocol(path)) {
    return "##### ERROR: Unusable file name (FFmpeg would read its \"name:\" prefix as a "
           "protocol; write ./ in front of a relative name): " +
           std::string(path) + "  ######\r\n";
  }
  return "##### ERROR: Unusable file name (double quote or leading '-'): " + std::string(path) +
         "  ######\r\n";
}

/// The refusal of a destination that the source's image-sequence pattern would read as one of
/// its frames (source img%03d.jpg, destination img001.jpg), or of a source that the destination's
/// pattern would write.
inline std::string SequenceOverlap(std::string_view destination) {
  return "##### ERROR: The destination is a frame of the source's image sequence: " +
         std::string(destination) + "  ######\r\n";
}

/// The refusal of a command line whose third or fourth field holds no number: a comma inside a
/// path split it into more fields.
inline std::string CommaSplitsFields(int position, std::string_view field) {
  return "##### ERROR: Commas split the command line into SOURCE,DESTINATION,PROFILE,CRF; field " +
         std::to_string(position) + " \"" + std::string(field) +
         "\" is no number (a path cannot hold a comma here: give it with --source and "
         "--destination)  "
         "######\r\n";
}

}  // namespace vexlo::process::text
