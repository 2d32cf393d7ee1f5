// The shared option reader: both value forms, operands and "--", its refusals, the numbers, and
// the word-at-a-time use of a program that hands unknown words on.
#include "cli/option_reader.h"

#include <gtest/gtest.h>

namespace velkor::cli {
namespace {

struct Settings {
  std::string name;
  std::uint8_t level = 7;
  bool verbose = false;
};

const std::vector<OptionRule<Settings>>& Table() {
  static const std::vector<OptionRule<Settings>> rules = {
      Text("--name", &Settings::name),
      {"--level", true,
       [](Settings& s, const std::string& v) {
         return ReadRanged("--level", v, 1, 200, &s.level);
       }},
      Flag("-v|--verbose", &Settings::verbose),
  };
  return rules;
}

ReadResult ReadInto(Settings& settings, const std::vector<std::string>& args,
                    Operands operands = Operands::kNone) {
  return ReadOptions(args, Table(), settings, operands);
}

TEST(OptionReaderGivenGoodWords, TakesBothValueFormsAliasesAndOperands) {
  Settings s;
  const ReadResult read =
      ReadInto(s, {"in", "--name=a=b", "-v", "--level", "0x10", "-", "--", "--level", ""},
               Operands::kCollect);
  ASSERT_TRUE(read.ok()) << read.error;
  EXPECT_EQ(s.name, "a=b");  // the value is all after the first '='
  EXPECT_EQ(s.level, 16);
  EXPECT_TRUE(s.verbose);
  EXPECT_EQ(read.operands, (std::vector<std::string>{"in", "-", "--level", ""}));
  EXPECT_EQ(read.given, (std::vector<std::string>{"--name", "-v", "--level"}));
  EXPECT_TRUE(read.Gave("--level"));
  EXPECT_FALSE(read.Gave("--name=a=b"));

  // A value that begins with a dash is still the value of the option before it.
  EXPECT_TRUE(ReadInto(s, {"--name", "-v"}).ok());
  EXPECT_EQ(s.name, "-v");
}

TEST(OptionReaderGivenBadWords, RefusesWithTheFirstErrorInTheProgramsWording) {
  struct Case {
    std::vector<std::string> args;
    Operands operands;
    std::string error;
  };
  const Case cases[] = {
      {{"--colour"}, Operands::kCollect, "unknown option \"--colour\" (see --help)"},
      {{"--colour=red"}, Operands::kNone, "unknown option \"--colour=red\" (see --help)"},
      {{"in"}, Operands::kNone, "unknown option \"in\" (see --help)"},
      {{"--"}, Operands::kNone, "unknown option \"--\" (see --help)"},
      {{"-v=1"}, Operands::kNone, "unknown option \"-v=1\" (see --help)"},
      {{"--level"}, Operands::kNone, "--level: missing value"},
      {{"--verbose=yes"}, Operands::kNone, "--verbose takes no value"},
      {{"--name="}, Operands::kNone, "--name: empty value"},
      {{"--level", "201", "--colour"},
       Operands::kNone,
       "--level: expected a number from 1 to 200, got \"201\""},
  };
  for (const Case& c : cases) {
    Settings s;
    EXPECT_EQ(ReadInto(s, c.args, c.operands).error, c.error) << c.args[0];
  }
}

TEST(OptionReaderNumbers, DecimalOrHexWithinTheirRange) {
  EXPECT_EQ(ParseNumber("0"), 0u);
  EXPECT_EQ(ParseNumber("0X7f"), 0x7Fu);
  EXPECT_EQ(ParseNumber("18446744073709551615"), UINT64_MAX);
  for (const char* bad :
       {"", "0x", "-1", "+1", " 1", "1 ", "12a", "0x1g", "18446744073709551616"}) {
    EXPECT_FALSE(ParseNumber(bad).has_value()) << bad;
  }
  // A refused value leaves a narrower field as it was.
  std::uint8_t field = 9;
  EXPECT_EQ(ReadRanged("--x", "0", 1, 255, &field),
            "--x: expected a number from 1 to 255, got \"0\"");
  EXPECT_EQ(field, 9);
  EXPECT_EQ(ReadRanged("--x", "255", 1, 255, &field), "");
  EXPECT_EQ(field, 255);
}

TEST(OptionReaderWordAtATime, TakesItsOwnOptionsAndLeavesTheRest) {
  Settings s;
  TableRules<Settings> rules(Table(), s);
  const std::vector<std::string> args = {"--level", "3", "--other", "--name"};
  std::size_t i = 0;
  std::string error;
  EXPECT_EQ(TakeOption(args, &i, rules, &error), Took::kTaken);
  EXPECT_EQ(i, 1u);  // past the value
  EXPECT_EQ(s.level, 3);
  i = 2;
  EXPECT_EQ(TakeOption(args, &i, rules, &error), Took::kNoRule);
  EXPECT_EQ(i, 2u);
  i = 3;
  EXPECT_EQ(TakeOption(args, &i, rules, &error), Took::kRefused);
  EXPECT_EQ(error, "--name: missing value");

  EXPECT_EQ(Arity(rules, "--name"), 1);
  EXPECT_EQ(Arity(rules, "--name=x"), 0);
  EXPECT_EQ(Arity(rules, "-v"), 0);
  EXPECT_EQ(Arity(rules, "--other"), -1);
}

}  // namespace
}  // namespace velkor::cli
