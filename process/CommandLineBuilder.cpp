#include "process/CommandLineBuilder.h"

#include <algorithm>

namespace vexlo::process {

CommandLineBuilder::CommandLineBuilder(std::string_view programDir, std::string_view tool) {
  pieces_.push_back({QuotedToolPath(programDir, tool), {}, {}});
}

CommandLineBuilder& CommandLineBuilder::Add(std::string_view piece) {
  pieces_.push_back({std::string(piece), {}, {}});
  return *this;
}

CommandLineBuilder& CommandLineBuilder::AddQuoted(std::string_view path) {
  pieces_.push_back({"\"" + std::string(path) + "\"", {}, {}});
  return *this;
}

CommandLineBuilder& CommandLineBuilder::AddFilter(std::string_view option, std::string_view filter,
                                                  std::string_view gap) {
  pieces_.push_back({std::string(filter), std::string(option), std::string(gap)});
  return *this;
}

std::string CommandLineBuilder::FilterChain() const {
  std::string chain;
  for (const Piece& piece : pieces_) {
    if (piece.option.empty()) continue;
    if (!chain.empty()) chain += ',';
    chain += piece.text;
  }
  return chain;
}

std::string CommandLineBuilder::Text() const {
  const auto filters = std::count_if(pieces_.begin(), pieces_.end(),
                                     [](const Piece& piece) { return !piece.option.empty(); });
  std::string line;
  bool chainWritten = false;
  for (const Piece& piece : pieces_) {
    if (piece.option.empty()) {
      line += piece.text;
    } else if (filters == 1) {
      line += " " + piece.option + piece.gap + " " + piece.text;
    } else if (!chainWritten) {
      line += " " + piece.option + " " + FilterChain();
      chainWritten = true;
    }
  }
  return line;
}

std::string_view LastOptionValue(std::string_view commandLine, std::string_view option) {
  const auto at = commandLine.rfind(option);
  if (at == std::string_view::npos) return {};
  const std::string_view rest = commandLine.substr(at + option.size());
  return rest.substr(0, rest.find(' '));
}

}  // namespace vexlo::process
