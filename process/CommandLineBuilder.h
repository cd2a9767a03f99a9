#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "process/ToolCommand.h"

namespace vexlo::process {

// Assembles a tool command line piece by piece, starting with the quoted tool path
// "DIR/ffmpeg.bin" (or "DIR/ffprobe.bin"): the one way every job builds its command line. Paths go between double quotes unchanged (the runner splits the line by the
// same rule: double quotes group, no escapes).
//
// Video filters are registered as filter pieces. FFmpeg keeps only the last -vf/-filter:v of a
// command line and drops the others without a word, so when two or more filter pieces are on
// one line, the first keeps its place and option name and carries the whole chain, joined with
// commas in the order of the pieces, and the later ones are left out. A single filter piece is
// written as given.
class CommandLineBuilder {
 public:
  explicit CommandLineBuilder(std::string_view programDir,
                              std::string_view tool = kEncoderTool);

  /// Appends a piece as it stands (each begins with its own blank).
  CommandLineBuilder& Add(std::string_view piece);
  /// Appends a path between double quotes.
  CommandLineBuilder& AddQuoted(std::string_view path);
  /// Appends a filter piece: " OPTION" + `gap` + " FILTER" when it is the line's only filter.
  CommandLineBuilder& AddFilter(std::string_view option, std::string_view filter,
                                std::string_view gap = {});

  /// The whole command line.
  std::string Text() const;

 private:
  struct Piece {
    std::string text;    // the plain piece, or the filter
    std::string option;  // "-vf" or "-filter:v"; empty for a plain piece
    std::string gap;     // extra blanks between option and filter when written alone
  };
  std::string FilterChain() const;

  std::vector<Piece> pieces_;
};

/// The word after the last `option` (" -pix_fmt ", with its blanks) of a command line built
/// here: FFmpeg takes an option's last value. Empty when the line has no such option.
std::string_view LastOptionValue(std::string_view commandLine, std::string_view option);

}  // namespace vexlo::process
