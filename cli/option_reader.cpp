// The option reader and its number helpers.
#include "cli/option_reader.h"

#include <charconv>
#include <cstdio>

namespace velkor::cli {
namespace {

// True when word is one of the '|'-separated spellings in names.
bool Spells(std::string_view names, std::string_view word) {
  while (true) {
    const auto bar = names.find('|');
    if (names.substr(0, bar) == word) {
      return true;
    }
    if (bar == std::string_view::npos) {
      return false;
    }
    names.remove_prefix(bar + 1);
  }
}

std::optional<std::size_t> FindRule(const RuleSet& rules, std::string_view name) {
  for (std::size_t rule = 0; rule < rules.size(); ++rule) {
    if (Spells(rules.Name(rule), name)) {
      return rule;
    }
  }
  return std::nullopt;
}

// "--name=value" splits at the first '='; every other word is a name alone.
std::string_view NamePart(const std::string& word) {
  const auto equals = word.find('=');
  return word.rfind("--", 0) == 0 && equals != std::string::npos
             ? std::string_view(word).substr(0, equals)
             : std::string_view(word);
}

struct Taken {
  Took took = Took::kNoRule;
  std::size_t rule = 0;
};

Taken Take(const std::vector<std::string>& args, std::size_t* i, RuleSet& rules,
           std::string* error) {
  const std::string& word = args[*i];
  const std::string name(NamePart(word));
  const auto rule = FindRule(rules, name);
  if (!rule) {
    return {};
  }
  std::optional<std::string> value;
  if (name.size() < word.size()) {
    value = word.substr(name.size() + 1);
  }
  if (rules.TakesValue(*rule) && !value) {
    if (*i + 1 >= args.size()) {
      *error = name + ": missing value";
      return {Took::kRefused, *rule};
    }
    value = args[++*i];
  } else if (!rules.TakesValue(*rule) && value) {
    *error = name + " takes no value";
    return {Took::kRefused, *rule};
  }
  *error = rules.Apply(*rule, value.value_or(""));
  return {error->empty() ? Took::kTaken : Took::kRefused, *rule};
}

}  // namespace

bool ReadResult::Gave(std::string_view name) const {
  for (const std::string& option : given) {
    if (option == name) {
      return true;
    }
  }
  return false;
}

ReadResult Read(const std::vector<std::string>& args, RuleSet& rules, Operands operands) {
  ReadResult result;
  bool onlyOperands = false;  // after "--"
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    const bool collect = operands == Operands::kCollect;
    if (collect && (onlyOperands || word.size() < 2 || word[0] != '-')) {
      result.operands.push_back(word);
      continue;
    }
    if (collect && word == "--") {
      onlyOperands = true;
      continue;
    }
    const Taken taken = Take(args, &i, rules, &result.error);
    if (taken.took == Took::kNoRule) {
      result.error = "unknown option \"" + word + "\" (see --help)";
    }
    if (!result.error.empty()) {
      return result;
    }
    const std::string_view names = rules.Name(taken.rule);
    result.given.emplace_back(names.substr(0, names.find('|')));
  }
  return result;
}

Took TakeOption(const std::vector<std::string>& args, std::size_t* i, RuleSet& rules,
                std::string* error) {
  return Take(args, i, rules, error).took;
}

int Arity(const RuleSet& rules, const std::string& word) {
  const std::string_view name = NamePart(word);
  const auto rule = FindRule(rules, name);
  if (!rule) {
    return -1;
  }
  return rules.TakesValue(*rule) && name.size() == word.size() ? 1 : 0;
}

std::optional<std::uint64_t> ParseNumber(const std::string& text) {
  int base = 10;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    first += 2;
  }
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(first, last, value, base);
  if (error != std::errc() || end != last || first == last) {
    return std::nullopt;
  }
  return value;
}

std::string ReadRanged(const std::string& option, const std::string& text, std::uint64_t min,
                       std::uint64_t max, std::uint64_t* out) {
  const auto value = ParseNumber(text);
  if (!value || *value < min || *value > max) {
    return option + ": expected a number from " + std::to_string(min) + " to " +
           std::to_string(max) + ", got \"" + text + "\"";
  }
  *out = *value;
  return {};
}

int RefuseOptions(const std::string& program, const std::string& error) {
  std::fprintf(stderr, "%s: %s\n", program.c_str(), error.c_str());
  return kExitBadOptions;
}

}  // namespace velkor::cli
