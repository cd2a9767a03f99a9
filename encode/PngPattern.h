#pragma once

#include <optional>
#include <string>
#include <string_view>

// Numbered PNG sequences as a source: their detection and the tool's numbered-file pattern.

namespace vexlo::encode {

/// The tool's numbered-file input for a PNG sequence.
struct PngPattern {
  std::string pattern;      // the path up to the digit run, then "%0Nd.png"
  std::string startNumber;  // the digit run as written, leading zeros kept; may be empty
};

/// True when the upper-cased path contains ".PNG" anywhere, a folder name included.
bool IsPngSequenceSource(std::string_view source);

/// The pattern of the sequence that `source` belongs to. The stem ends before the first ".PNG"
/// (any letter case; whatever follows is dropped); the digit run at the stem's end sets the start
/// number and the width N. nullopt (no job) when there is no ".PNG" or when fewer than two
/// characters would stay in front of the digits.
std::optional<PngPattern> DerivePngPattern(std::string_view source);

}  // namespace vexlo::encode
