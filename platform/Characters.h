#pragma once

namespace vexlo::platform {

// The character tests of the "C" locale, for text read from the tools and the command line,
// whatever locale the program runs in.

/// '0' to '9'.
constexpr bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

/// An ASCII letter or digit.
constexpr bool IsAlnum(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

/// White space as isspace() gives it in the "C" locale: blank, tab, line feed, vertical tab,
/// form feed, carriage return.
constexpr bool IsSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

/// A blank within a line: space or tab.
constexpr bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace vexlo::platform
