// Parsing of the tool's command line.
#include "service/tool_options.h"

#include <optional>

#include "cli/option_reader.h"
#include "service/station/utc_time_text.h"

namespace velkor::tool {

namespace {

struct CommandWord {
  const char* name;
  Command command;
  bool takesFile;
};

constexpr CommandWord kCommands[] = {
    {"list", Command::kList, false},       {"identify", Command::kIdentify, false},
    {"read", Command::kRead, true},        {"verify", Command::kVerify, true},
    {"write", Command::kWrite, true},      {"station", Command::kStation, true},
    {"history", Command::kHistory, false},
};

const CommandWord* FindCommand(const std::string& word) {
  for (const CommandWord& command : kCommands) {
    if (word == command.name) {
      return &command;
    }
  }
  return nullptr;
}

const std::vector<cli::OptionRule<ToolOptions>>& OptionTable() {
  static const std::vector<cli::OptionRule<ToolOptions>> rules = {
      cli::Text("--device", &ToolOptions::device),
      cli::Text("--backup", &ToolOptions::backupFile),
      cli::Text("--log", &ToolOptions::logFile),
      cli::Text("--db", &ToolOptions::database),
      cli::Number<ToolOptions>("--slots", 1, 24, [](ToolOptions& o) { return &o.slots; }),
      cli::Flag("--once", &ToolOptions::once),
      {"--since", true,
       [](ToolOptions& o, const std::string& value) {
         const std::optional<std::string> time = FullUtcTime(value);
         if (!time) {
           return "--since: \"" + value +
                  "\" is no UTC date or time (2026-12-07, 2026-12-07T22:00, "
                  "2026-12-07T22:00:05Z)";
         }
         o.since = *time;
         return std::string();
       }},
      cli::Flag("--csv", &ToolOptions::csv),
      cli::Flag("--json", &ToolOptions::json),
      cli::Flag("-q|--quiet", &ToolOptions::quiet),
      cli::Flag("-h|--help", &ToolOptions::help),
      cli::Flag("--version", &ToolOptions::version),
      cli::Flag("--trace-requests", &ToolOptions::traceRequests),
  };
  return rules;
}

// The operands: the subcommand, then its FILE when it takes one.
std::string TakeOperands(const std::vector<std::string>& operands, ToolOptions& o) {
  for (const std::string& word : operands) {
    if (o.command == Command::kNone) {
      const CommandWord* command = FindCommand(word);
      if (command == nullptr) {
        return "unknown subcommand \"" + word + "\" (see --help)";
      }
      o.command = command->command;
      continue;
    }
    const CommandWord* command = FindCommand(CommandName(o.command));
    if (!command->takesFile || !o.file.empty()) {
      return "unexpected argument \"" + word + "\"";
    }
    if (word.empty()) {
      return std::string(command->name) + ": empty FILE";
    }
    o.file = word;
  }
  return {};
}

std::string CheckCombination(const ToolOptions& o) {
  if (o.command == Command::kNone) {
    return "no subcommand given (list, identify, read, verify, write, station or history; see "
           "--help)";
  }
  const CommandWord* word = FindCommand(CommandName(o.command));
  if (word->takesFile && o.file.empty()) {
    return std::string(word->name) + ": missing FILE";
  }
  if (!o.backupFile.empty() && o.command != Command::kWrite) {
    return "--backup belongs to write";
  }
  if (!o.device.empty() && o.command == Command::kList) {
    return "list takes no --device: it shows every device";
  }
  const bool station = o.command == Command::kStation;
  if (!station && (o.once || o.slots != 24)) {
    return "--once and --slots belong to station";
  }
  if (station && (!o.device.empty() || !o.logFile.empty())) {
    return "station takes no --device or --log: it updates every camera, each with its own "
           "record";
  }
  if (!o.database.empty() && !station && o.command != Command::kHistory) {
    return "--db belongs to station and history";
  }
  if (o.command != Command::kHistory && (!o.since.empty() || o.csv)) {
    return "--since and --csv belong to history";
  }
  if (o.command == Command::kHistory && !o.device.empty()) {
    return "history takes no --device: it reads the station's attempt record";
  }
  if (o.csv && o.json) {
    return "--csv and --json: give one";
  }
  if (o.traceRequests && o.logFile.empty()) {
    return "--trace-requests needs --log FILE";
  }
  if (!o.backupFile.empty() && o.backupFile == o.file) {
    return "--backup must not name the image being written";
  }
  return {};
}

}  // namespace

const char* CommandName(Command command) {
  for (const CommandWord& word : kCommands) {
    if (word.command == command) {
      return word.name;
    }
  }
  return "none";
}

bool IsCommandName(const std::string& word) {
  return FindCommand(word) != nullptr;
}

ToolOptionsResult ParseToolOptions(const std::vector<std::string>& args) {
  ToolOptionsResult result;
  ToolOptions& o = result.options;
  const cli::ReadResult read = cli::ReadOptions(args, OptionTable(), o, cli::Operands::kCollect);
  result.error = read.ok() ? TakeOperands(read.operands, o) : read.error;
  if (result.error.empty() && !o.help && !o.version) {  // help and version need nothing else
    result.error = CheckCombination(o);
  }
  result.ok = result.error.empty();
  return result;
}

int ToolOptionArity(const std::string& word) {
  ToolOptions scratch;
  const cli::TableRules<ToolOptions> rules(OptionTable(), scratch);
  return cli::Arity(rules, word);
}

std::string ToolUsage(const std::string& program, const std::string& extra) {
  return "Usage: " + program + " [options] SUBCOMMAND [FILE]\n" +
         "\n"
         "Service tool for the camera: lists, identifies, backs up, verifies and writes its\n"
         "65,536-byte serial flash through the controller's extension unit.\n"
         "\n"
         "Subcommands:\n"
         "  list                     every capture device; for ours the chip, id, version,\n"
         "                           flash kind and mode (read-only)\n"
         "  identify [--device PATH] one camera (the first of ours by default) and its\n"
         "                           protection: SRWD, BP bits, write-protect pin (read-only)\n"
         "  read FILE                the whole flash into FILE (written under a temporary\n"
         "                           name, then renamed)\n"
         "  verify FILE              compare the flash with a 65,536-byte image\n"
         "  write FILE [--backup B]  the updater's whole sequence with the image in FILE:\n"
         "                           release protection, erase, write, read back and compare,\n"
         "                           restore protection; --backup first saves the old flash\n"
         "                           to B and stops if it cannot\n"
         "  station FILE             a production station: updates every camera that appears,\n"
         "                           each in a process of its own, and records each attempt\n"
         "                           in a database (" +
         std::string(kDefaultStationDatabase) +
         ")\n"
         "  history [--db FILE] [--since TIME] [--csv]\n"
         "                           the station's recorded update attempts, newest first,\n"
         "                           as a table (or CSV, or JSON with --json)\n"
         "\n"
         "Options:\n"
         "  --device PATH            the camera's device path as list shows it, or a part of\n"
         "                           it that only one device's path contains\n"
         "  --json                   one JSON object per line on stdout: events, then a\n"
         "                           summary (schema: docs/velkor-tool.schema.json)\n"
         "  --log FILE               a step-by-step trace with timestamps\n"
         "  --trace-requests         with --log: every extension-unit request too\n"
         "  --db FILE                station, history: the attempt record, an SQLite\n"
         "                           database (default velkor-station.db)\n"
         "  --slots N                station: at most N cameras at once (1 to 24, default 24)\n"
         "  --once                   station: the cameras attached now, then end (exit code\n"
         "                           0 all passed, 1 any failed, 3 none found)\n"
         "  --since TIME             history: attempts started at or after TIME, UTC:\n"
         "                           2026-12-07, 2026-12-07T22:00 or 2026-12-07T22:00:05Z\n"
         "  --csv                    history: CSV (RFC 4180) with a header line\n"
         "  -q, --quiet              only errors and the results of list and identify (with\n"
         "                           --json: no progress events)\n"
         "  -h, --help               this text\n"
         "  --version                the tool's version\n" +
         extra +
         "\n"
         "Exit codes:\n"
         "  0    done (verify: equal)\n"
         "  1    verify found differences, or a write failed its check (erase not\n"
         "       confirmed, read-back differs, protection not confirmed)\n"
         "  2    usage error, or a file that cannot be read or written (history: the\n"
         "       database is missing or unreadable)\n"
         "  3    no camera found\n"
         "  4    the camera failed a request or could not be opened\n"
         "  130  interrupted during a write that then completed (the write is never\n"
         "       stopped midway; a failed write keeps its own code)\n";
}

}  // namespace velkor::tool
