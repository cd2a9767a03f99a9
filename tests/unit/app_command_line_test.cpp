#include <gtest/gtest.h>

#include "app/VexloApp.h"

namespace vexlo::app {
namespace {

struct GrammarCase {
  const char* line;
  int count;
  const char* first;
  const char* second;
  int third;
  int fourth;
};

class CommandLineGrammar : public ::testing::TestWithParam<GrammarCase> {};

TEST_P(CommandLineGrammar, SplitsAtEveryCommaAndReadsNumbersLikeAtoi) {
  const GrammarCase& c = GetParam();
  const CommandLineFields f = ParseCommandLine(c.line);
  EXPECT_EQ(f.count, c.count);
  EXPECT_EQ(f.first, c.first);
  EXPECT_EQ(f.second, c.second);
  EXPECT_EQ(f.third, c.third);
  EXPECT_EQ(f.fourth, c.fourth);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineGrammar,
    ::testing::Values(
        GrammarCase{"", 0, "", "", 0, 4},
        GrammarCase{"/in/a.mov", 1, "/in/a.mov", "", 0, 4},
        // Two fields: profile "baseline" and CRF "12".
        GrammarCase{"/in/a.mov,/out/a.H264", 2, "/in/a.mov", "/out/a.H264", 0, 4},
        GrammarCase{"/in/a.mov,/out/a.H264,2,0", 4, "/in/a.mov", "/out/a.H264", 2, 0},
        // A fifth field is counted and dropped.
        GrammarCase{"a,b,1,2,9", 5, "a", "b", 1, 2},
        // Blanks stay part of the field; quotes too.
        GrammarCase{"/in/a.mov, /out/a.H264", 2, "/in/a.mov", " /out/a.H264", 0, 4},
        GrammarCase{"\"a b\",c", 2, "\"a b\"", "c", 0, 4},
        // An empty field is a field.
        GrammarCase{",b", 2, "", "b", 0, 4}, GrammarCase{"a,", 2, "a", "", 0, 4},
        GrammarCase{",", 2, "", "", 0, 4},
        // Numbers: leading blanks, a sign, digits up to the first other character.
        GrammarCase{"a,b, 7x,-3", 4, "a", "b", 7, -3}, GrammarCase{"a,b,x7,", 4, "a", "b", 0, 0},
        GrammarCase{"a,b,+5,99999999999999", 4, "a", "b", 5, 2147483647},
        GrammarCase{"a,b,-99999999999999,1", 4, "a", "b", -2147483647 - 1, 1}));

TEST(CommandLine, JoinsArgumentsWithSingleBlanks) {
  char program[] = "vexlo", a[] = "/in/a.mov,", b[] = "/out/a.H264";
  char* argv[] = {program, a, b};
  EXPECT_EQ(JoinArguments(3, argv), "/in/a.mov, /out/a.H264");
  EXPECT_EQ(JoinArguments(1, argv), "");
}

}  // namespace
}  // namespace vexlo::app
