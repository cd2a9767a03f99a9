#pragma once

#include <charconv>
#include <cstdint>
#include <string_view>

#include "platform/Characters.h"

// Numbers read from the front of a text as atoi reads them.

namespace vexlo::platform {

/// Reads a number the way atoi does: leading white space, an optional sign, then digits up to
/// the first other character; 0 without digits ("N/A"). Saturates instead of overflowing.
std::int64_t LeadingInteger64(std::string_view text);

/// True when atoi finds digits in the text: after leading white space and an optional sign.
bool HasLeadingNumber(std::string_view text);

/// The same, saturated to the range of int.
int LeadingInteger(std::string_view text);

/// A decimal number (digits, point, exponent) at the very start of the text, after an optional
/// sign; the caller skips the white space it allows first. 0 when the text does not begin with
/// a digit or a point ("inf", "nan" and "N/A" read as 0), or when the number is out of range.
template <typename Number>
Number LeadingDecimal(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || !(text.front() == '.' || IsDigit(text.front()))) {
    return 0;
  }
  Number value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc()) return 0;
  return negative ? -value : value;
}

}  // namespace vexlo::platform
