// The command-line grammar: every comma splits, the numbers read as atoi reads them, and a third
// or fourth field that holds no number refuses the line instead of reading as 0. The same bytes
// cut at each zero are also a command line's arguments: their reading ends in the comma form
// exactly when no argument is an option, and every refusal is one line.
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/CommandOptions.h"
#include "app/VexloApp.h"
#include "platform/LeadingNumber.h"

using vexlo::platform::HasLeadingNumber;
using vexlo::platform::LeadingInteger;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const auto fields = vexlo::app::ParseCommandLine(line);
  std::vector<std::string_view> parts;
  for (std::size_t start = 0; !line.empty();) {
    const auto comma = line.find(',', start);
    parts.push_back(line.substr(start, comma == line.npos ? line.npos : comma - start));
    if (comma == line.npos) break;
    start = comma + 1;
  }
  bool refused = false;
  for (std::size_t i = 2; i < 4 && i < parts.size(); ++i) {
    refused = refused || (!parts[i].empty() && !HasLeadingNumber(parts[i]));
  }
  if (fields.count != static_cast<int>(parts.size()) || refused == fields.refusal.empty() ||
      (parts.size() > 1 && (fields.source != parts[0] || fields.videoDestination != parts[1])) ||
      (parts.size() > 2 && fields.profile != LeadingInteger(parts[2])) ||
      fields.crf != (parts.size() > 3 ? LeadingInteger(parts[3]) : 4)) {
    std::abort();
  }
  std::vector<std::string> arguments(1);
  for (const char c : line) {
    if (c) {
      arguments.back().push_back(c);
    } else {
      arguments.emplace_back();
    }
  }
  const auto request = vexlo::app::ReadCommandLine(arguments, "/nowhere", "1");
  const std::string& err = request.err;
  bool oneLine = err.starts_with("vexlo: ") && err.ends_with('\n');
  for (std::size_t i = 0; i + 1 < err.size(); ++i) {
    const auto byte = static_cast<unsigned char>(err[i]);
    oneLine = oneLine && byte >= 0x20 && byte != 0x7f;
  }
  if ((request.exitNow == 1 || request.exitNow == 2) != !err.empty() || (!err.empty() && !oneLine) ||
      (!vexlo::app::UsesOptions(arguments) &&
       (request.exitNow || request.commandLine != vexlo::app::JoinArguments(arguments))) ||
      (request.job && (request.job->source.empty() || request.job->destination.empty()))) {
    std::abort();
  }
  return 0;
}
