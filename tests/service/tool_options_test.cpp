// The command line: options around the subcommand, and the combinations that are refused.
#include <gtest/gtest.h>

#include "service/tool_options.h"

namespace velkor::tool {
namespace {

TEST(ToolOptionsTest, OptionsMayStandBeforeOrAfterTheSubcommandInEitherForm) {
  const ToolOptionsResult a =
      ParseToolOptions({"--json", "write", "img.bin", "--backup=old.bin", "--device", "1-2"});
  ASSERT_TRUE(a.ok) << a.error;
  EXPECT_EQ(a.options.command, Command::kWrite);
  EXPECT_EQ(a.options.file, "img.bin");
  EXPECT_EQ(a.options.backupFile, "old.bin");
  EXPECT_EQ(a.options.device, "1-2");
  EXPECT_TRUE(a.options.json);

  // After "--" a file may begin with a dash.
  const ToolOptionsResult b = ParseToolOptions({"read", "--", "-dump.bin"});
  ASSERT_TRUE(b.ok) << b.error;
  EXPECT_EQ(b.options.file, "-dump.bin");
}

TEST(ToolOptionsTest, IncompleteOrContradictoryCommandLinesAreRefused) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {},
           {"frobnicate"},
           {"read"},
           {"verify", "a.bin", "b.bin"},
           {"list", "extra"},
           {"read", "a.bin", "--backup", "b.bin"},
           {"list", "--device", "x"},
           {"identify", "--trace-requests"},
           {"identify", "--device"},
           {"identify", "--device="},
           {"identify", "--json=yes"},
           {"write", "a.bin", "--backup", "a.bin"},
           {"identify", "--colour"},
           {"list", "--csv"},
           {"identify", "--db", "a.db"},
           {"history", "--device", "x"},
           {"history", "--csv", "--json"},
           {"history", "--since", "yesterday"},
           {"history", "--db="},
       }) {
    const ToolOptionsResult result = ParseToolOptions(args);
    EXPECT_FALSE(result.ok) << ::testing::PrintToString(args);
    EXPECT_FALSE(result.error.empty());
  }
}

TEST(ToolOptionsTest, HelpAndVersionNeedNothingElse) {
  EXPECT_TRUE(ParseToolOptions({"--help"}).options.help);
  EXPECT_TRUE(ParseToolOptions({"--version"}).ok);
  EXPECT_NE(ToolUsage("velkor-tool", "").find("  4    the camera failed"), std::string::npos);
}

}  // namespace
}  // namespace velkor::tool
