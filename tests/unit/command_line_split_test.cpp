#include "platform/CommandLineSplit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vexlo::platform {
namespace {

struct SplitCase {
  const char* commandLine;
  std::vector<std::string> arguments;
};

TEST(SplitCommandLineTest, SplitsByTheBuildersRule) {
  const SplitCase cases[] = {
      {"", {}},
      {"   \t ", {}},
      {"a b", {"a", "b"}},
      {"  a \t  b  ", {"a", "b"}},
      {"\"/dir with blanks/ffmpeg.bin\" -i x", {"/dir with blanks/ffmpeg.bin", "-i", "x"}},
      {"\"\"", {""}},
      {"a \"\" b", {"a", "", "b"}},
      {"-y \"\"\"\"", {"-y", ""}},
      // No escapes: a backslash stays, also right before a quote.
      {"C:\\dir\\f.mp4 \"C:\\dir\\\" x", {"C:\\dir\\f.mp4", "C:\\dir\\", "x"}},
      // Quotes group in the middle of an argument and are removed.
      {"ab\"cd ef\"gh i", {"abcd efgh", "i"}},
      // A quote left open runs to the end.
      {"a \"b c  ", {"a", "b c  "}},
      {"\"a\"\"b\"", {"ab"}},
  };
  for (const SplitCase& c : cases) {
    EXPECT_EQ(SplitCommandLine(c.commandLine), c.arguments) << "command line: " << c.commandLine;
  }
}

TEST(SplitCommandLineTest, KeepsLongArgumentsWhole) {
  const std::string path(5000, 'p');
  const auto arguments = SplitCommandLine("\"" + path + " x\" y");
  ASSERT_EQ(arguments.size(), 2u);
  EXPECT_EQ(arguments[0], path + " x");
}

}  // namespace
}  // namespace vexlo::platform
