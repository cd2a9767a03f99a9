#pragma once

#include <string>
#include <string_view>

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
inline constexpr std::string_view kStopConversion =
    "##### STOP CURRENT CONVERSION..... ######\r\n";
inline constexpr std::string_view kStopIndexing = "##### STOP CURRENT INDEXING..... ######\r\n";
inline constexpr std::string_view kCancel = "##### CANCEL #####\r\n";

/// The refusal of a path that cannot be handed to a tool safely (a double quote in it, or a
/// leading '-' that the tool would take for an option).
inline std::string UnusablePath(std::string_view path) {
  return "##### ERROR: Unusable file name (double quote or leading '-'): " + std::string(path) +
         "  ######\r\n";
}

}  // namespace vexlo::process::text
