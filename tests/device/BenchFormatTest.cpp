#include "device/BenchFormat.h"

#include <gtest/gtest.h>

#include <string>

#include "support/CaseNames.h"

namespace toggra {
namespace {

struct MalformedCase {
  const char* text;
  int line;            // the line the message must name
  const char* mention; // a word the message must contain
};

class MalformedBench : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedBench, IsRejectedWithFileAndLine) {
  const MalformedCase& c = GetParam();
  const BenchParse parse = ParseBench(c.text, "/x/lab.bench");
  ASSERT_FALSE(parse.ok);
  EXPECT_EQ(parse.error.rfind("/x/lab.bench:" + std::to_string(c.line) + ": ", 0), 0u)
      << parse.error;
  EXPECT_NE(parse.error.find(c.mention), std::string::npos) << parse.error;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MalformedBench,
    ::testing::Values(
        MalformedCase{"[device]\ncolour = 1\n", 2, "colour"},
        MalformedCase{"# set-up\ntype = 8\n[device]\n", 2, "type"},
        MalformedCase{"[device]\ntype = eight\n", 2, "eight"},
        MalformedCase{"[device]\nserial = 4294967296\n", 2, "4294967296"},
        MalformedCase{"[device]\nversion =   # forgotten\n", 2, "version"},
        MalformedCase{"[device]\nswitches = 17\n", 2, "switches"},
        MalformedCase{"[device]\nswitches = -1\n", 2, "switches"},
        MalformedCase{"[device]\nmulti_switch_fails = 2\n", 2, "multi_switch_fails"},
        MalformedCase{"[device]\nconfig_failures = -1\n", 2, "config_failures"},
        MalformedCase{"[device]\nresets = -3\n", 2, "resets"},
        MalformedCase{"[device]\nstate = 0 1 x 0\n", 2, "x"},
        MalformedCase{"[device]\nstate = 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n", 2, "state"},
        MalformedCase{"[device]\ntype = 8\n\n[device]\ntype = 5\ntype = 40\n", 6, "twice"},
        MalformedCase{"[device]\n\n# note\nswitches 4\n", 4, "key = value"},
        MalformedCase{"[device\n", 1, "]"}, MalformedCase{"[device]\n[switch]\n", 2, "switch"},
        MalformedCase{"[device]\r\ntype = 8x\r\n", 2, "8x"}),
    [](const auto& info) { return test::RowName(info.index, info.param.mention); });

TEST(BenchText, AcceptsCommentsBlanksSpacingAndLineEndings) {
  const BenchParse parse = ParseBench(
      "# lab\r\n\r\n  [ device ]  # first\r\n\ttype=40\r\nstate =  1\t-1   7 # odd\r\n"
      "[device]\nresets = 2147483647",
      "f");
  ASSERT_TRUE(parse.ok) << parse.error;
  ASSERT_EQ(parse.set.devices.size(), 2u);
  EXPECT_EQ(parse.set.devices[0].type, 40);
  EXPECT_EQ(parse.set.devices[0].state, (std::vector<int>{1, -1, 7}));
  EXPECT_EQ(parse.set.devices[1].resets, 2147483647);
}

// A person's comments and layout survive the program's changes.
TEST(BenchRewrite, ChangesOnlyTheValueAndKeepsComments) {
  const std::string text =
      "# my lab\n[device]  # the big one\nswitches = 4\n"
      "state = 0 1 0 0          # ids 16 to 19\nresets = 0\n\n# second\n[device]\nstate = 1\n";
  BenchParse parse = ParseBench(text, "f");
  ASSERT_TRUE(parse.ok);
  parse.set.SetState(0, 2, 1);
  parse.set.SetResets(0, 12);
  parse.set.SetState(1, 0, 0);
  EXPECT_EQ(parse.set.Render(),
            "# my lab\n[device]  # the big one\nswitches = 4\n"
            "state = 0 1 1 0          # ids 16 to 19\nresets = 12\n\n# second\n[device]\n"
            "state = 0\n");
  // A longer value pushes the comment aside.
  parse.set.SetState(0, 3, -1);
  EXPECT_NE(parse.set.Render().find("state = 0 1 1 -1         # ids"), std::string::npos);
  parse.set.SetState(0, 9, 1);
  EXPECT_NE(parse.set.Render().find("state = 0 1 1 -1 0 0 0 0 0 1 # ids"), std::string::npos);
}

TEST(BenchRewrite, AddsMissingKeysInsideTheirOwnSection) {
  BenchParse parse =
      ParseBench("[device]\nswitches = 3\n\n# next\n[device]\r\ntype = 8\r\n", "f");
  ASSERT_TRUE(parse.ok);
  parse.set.SetState(0, 1, 1);
  parse.set.SetResets(1, 1);
  parse.set.SetResets(0, 1);
  const std::string out = parse.set.Render();
  EXPECT_EQ(out,
            "[device]\nswitches = 3\nstate = 0 1 0\nresets = 1\n\n# next\n[device]\r\n"
            "type = 8\r\nresets = 1\r\n");
  const BenchParse again = ParseBench(out, "f");
  ASSERT_TRUE(again.ok) << again.error;
  EXPECT_EQ(again.set.devices[0].state, (std::vector<int>{0, 1, 0}));
  EXPECT_EQ(again.set.devices[1].resets, 1);
}

}  // namespace
}  // namespace toggra
