#pragma once

#include <cstdint>
#include <string_view>

namespace vexlo::process {

/// Reads a number the way atoi does: leading white space, an optional sign, then digits up to
/// the first other character; 0 without digits ("N/A"). Saturates instead of overflowing.
std::int64_t LeadingInteger64(std::string_view text);

/// True when atoi finds digits in the text: after leading white space and an optional sign.
bool HasLeadingNumber(std::string_view text);

/// The same, saturated to the range of int.
int LeadingInteger(std::string_view text);

}  // namespace vexlo::process
