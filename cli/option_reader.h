// One way for the programs to read their command lines: a table of option rules, each with its
// names, whether it takes a value and what it does with the value. The reader takes
// "--name value" and "--name=value", ends the options at "--", collects the operands, and words
// its refusals alike for every program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace velkor::cli {

// The exit code of a command line that is refused.
constexpr int kExitBadOptions = 2;

// One option. name: its spelling, or several separated by '|' ("-h|--help"). apply gets the
// value ("" for a flag) and returns an error text that names the option, or "" when all is well.
template <typename Target>
struct OptionRule {
  const char* name;
  bool takesValue;
  std::function<std::string(Target&, const std::string&)> apply;
};

// A flag that sets a bool of the target, e.g. Flag("-q|--quiet", &Options::quiet).
template <typename Target>
OptionRule<Target> Flag(const char* name, bool Target::*member) {
  return {name, false, [member](Target& target, const std::string&) {
            target.*member = true;
            return std::string();
          }};
}

// An option whose value is kept as text, e.g. Text("--log", &Options::logFile). An empty value
// is refused: it would stand for a file or device that nobody named.
template <typename Target>
OptionRule<Target> Text(const char* name, std::string Target::*member) {
  return {name, true, [name, member](Target& target, const std::string& value) {
            if (value.empty()) {
              return std::string(name) + ": empty value";
            }
            target.*member = value;
            return std::string();
          }};
}

// What a reading found.
struct ReadResult {
  std::string error;                  // the first refusal, one line; empty when all was read
  std::vector<std::string> operands;  // the words that are no option, in order
  std::vector<std::string> given;     // each option given, by the first name of its rule
  bool ok() const { return error.empty(); }
  bool Gave(std::string_view name) const;
};

// kNone: every word must be an option of the table. kCollect: "-", words that do not start with
// '-', and every word after "--" are operands.
enum class Operands { kNone, kCollect };

// A table bound to its target, so that the reading is written once for every kind of target.
class RuleSet {
 public:
  virtual ~RuleSet() = default;
  virtual std::size_t size() const = 0;
  virtual const char* Name(std::size_t rule) const = 0;
  virtual bool TakesValue(std::size_t rule) const = 0;
  virtual std::string Apply(std::size_t rule, const std::string& value) = 0;
};

ReadResult Read(const std::vector<std::string>& args, RuleSet& rules, Operands operands);

// Reads args[*i] alone, when it is an option of the rules: kTaken moves *i past a separate
// value, kRefused sets *error, kNoRule leaves everything as it was. For a program that hands
// the words it does not know to another reader.
enum class Took { kNoRule, kTaken, kRefused };
Took TakeOption(const std::vector<std::string>& args, std::size_t* i, RuleSet& rules,
                std::string* error);

// For a word of a command line: -1 when it is no option of the rules, 0 for a flag or an
// option that carries its value ("--name=value"), 1 for an option whose value follows.
int Arity(const RuleSet& rules, const std::string& word);

template <typename Target>
class TableRules final : public RuleSet {
 public:
  TableRules(const std::vector<OptionRule<Target>>& table, Target& target)
      : table_(table), target_(target) {}
  std::size_t size() const override { return table_.size(); }
  const char* Name(std::size_t rule) const override { return table_[rule].name; }
  bool TakesValue(std::size_t rule) const override { return table_[rule].takesValue; }
  std::string Apply(std::size_t rule, const std::string& value) override {
    return table_[rule].apply(target_, value);
  }

 private:
  const std::vector<OptionRule<Target>>& table_;
  Target& target_;
};

template <typename Target>
ReadResult ReadOptions(const std::vector<std::string>& args,
                       const std::vector<OptionRule<Target>>& table, Target& target,
                       Operands operands = Operands::kNone) {
  TableRules<Target> rules(table, target);
  return Read(args, rules, operands);
}

// Decimal, or hexadecimal with a 0x prefix; the whole text must be the number.
std::optional<std::uint64_t> ParseNumber(const std::string& text);

// A number in [min, max] into *out, or the error text
// "OPTION: expected a number from MIN to MAX, got "TEXT"".
std::string ReadRanged(const std::string& option, const std::string& text, std::uint64_t min,
                       std::uint64_t max, std::uint64_t* out);

// The same into a narrower field, which keeps its value when the text is refused.
template <typename T>
requires(std::is_arithmetic_v<T> && !std::is_same_v<T, std::uint64_t>) std::string
    ReadRanged(const std::string& option, const std::string& text, std::uint64_t min,
               std::uint64_t max, T* out) {
  std::uint64_t value = 0;
  std::string error = ReadRanged(option, text, min, max, &value);
  if (error.empty()) {
    *out = static_cast<T>(value);
  }
  return error;
}

// An option whose value is a number from min to max, kept in the field that field(target) gives:
// Number<Options>("--jobs", 1, 64, [](Options& o) { return &o.jobs; }).
template <typename Target, typename Field>
OptionRule<Target> Number(const char* name, std::uint64_t min, std::uint64_t max, Field field) {
  return {name, true, [name, min, max, field](Target& target, const std::string& value) {
            return ReadRanged(name, value, min, max, field(target));
          }};
}

// Prints "PROGRAM: ERROR" to stderr and gives kExitBadOptions.
int RefuseOptions(const std::string& program, const std::string& error);

}  // namespace velkor::cli
