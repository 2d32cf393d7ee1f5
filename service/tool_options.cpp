// Parsing of the tool's command line.
#include "service/tool_options.h"

#include <optional>

namespace velkor::tool {

namespace {

struct CommandWord {
  const char* name;
  Command command;
  bool takesFile;
};

constexpr CommandWord kCommands[] = {
    {"list", Command::kList, false},  {"identify", Command::kIdentify, false},
    {"read", Command::kRead, true},   {"verify", Command::kVerify, true},
    {"write", Command::kWrite, true},
};

const CommandWord* FindCommand(const std::string& word) {
  for (const CommandWord& command : kCommands) {
    if (word == command.name) {
      return &command;
    }
  }
  return nullptr;
}

// Options that take a value, and where it goes.
std::string* ValueSlot(ToolOptions& options, const std::string& name) {
  if (name == "--device") {
    return &options.device;
  }
  if (name == "--backup") {
    return &options.backupFile;
  }
  if (name == "--log") {
    return &options.logFile;
  }
  return nullptr;
}

bool* FlagSlot(ToolOptions& options, const std::string& name) {
  if (name == "--json") {
    return &options.json;
  }
  if (name == "--quiet" || name == "-q") {
    return &options.quiet;
  }
  if (name == "--help" || name == "-h") {
    return &options.help;
  }
  if (name == "--version") {
    return &options.version;
  }
  if (name == "--trace-requests") {
    return &options.traceRequests;
  }
  return nullptr;
}

std::string CheckCombination(const ToolOptions& o, bool fileGiven) {
  if (o.command == Command::kNone) {
    return "no subcommand given (list, identify, read, verify or write; see --help)";
  }
  const CommandWord* word = FindCommand(CommandName(o.command));
  if (word->takesFile && !fileGiven) {
    return std::string(word->name) + ": missing FILE";
  }
  if (!o.backupFile.empty() && o.command != Command::kWrite) {
    return "--backup belongs to write";
  }
  if (!o.device.empty() && o.command == Command::kList) {
    return "list takes no --device: it shows every device";
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
  bool fileGiven = false;
  bool onlyOperands = false;  // after "--" every word is an operand
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    if (!onlyOperands && name == "--") {
      onlyOperands = true;
      continue;
    }
    if (!onlyOperands && name.size() > 1 && name[0] == '-') {
      std::optional<std::string> value;
      if (const auto equals = name.find('='); name.rfind("--", 0) == 0 && equals != name.npos) {
        value = name.substr(equals + 1);
        name.resize(equals);
      }
      if (bool* flag = FlagSlot(o, name)) {
        if (value) {
          result.error = name + " takes no value";
          return result;
        }
        *flag = true;
        continue;
      }
      std::string* slot = ValueSlot(o, name);
      if (slot == nullptr) {
        result.error = "unknown option \"" + args[i] + "\" (see --help)";
        return result;
      }
      if (!value) {
        if (i + 1 >= args.size()) {
          result.error = name + ": missing value";
          return result;
        }
        value = args[++i];
      }
      if (value->empty()) {
        result.error = name + ": empty value";
        return result;
      }
      *slot = *value;
      continue;
    }
    if (o.command == Command::kNone) {
      const CommandWord* word = FindCommand(name);
      if (word == nullptr) {
        result.error = "unknown subcommand \"" + name + "\" (see --help)";
        return result;
      }
      o.command = word->command;
      continue;
    }
    const CommandWord* word = FindCommand(CommandName(o.command));
    if (!word->takesFile || fileGiven) {
      result.error = "unexpected argument \"" + name + "\"";
      return result;
    }
    if (name.empty()) {
      result.error = std::string(word->name) + ": empty FILE";
      return result;
    }
    o.file = name;
    fileGiven = true;
  }
  if (o.help || o.version) {
    result.ok = true;  // nothing else matters
    return result;
  }
  result.error = CheckCombination(o, fileGiven);
  result.ok = result.error.empty();
  return result;
}

int ToolOptionArity(const std::string& word) {
  ToolOptions scratch;
  const auto equals = word.find('=');
  const std::string name = word.rfind("--", 0) == 0 ? word.substr(0, equals) : word;
  if (FlagSlot(scratch, name) != nullptr) {
    return 0;
  }
  if (ValueSlot(scratch, name) != nullptr) {
    return equals == std::string::npos ? 1 : 0;
  }
  return -1;
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
         "\n"
         "Options:\n"
         "  --device PATH            the camera's device path as list shows it, or a part of\n"
         "                           it that only one device's path contains\n"
         "  --json                   one JSON object per line on stdout: events, then a\n"
         "                           summary (schema: docs/velkor-tool.schema.json)\n"
         "  --log FILE               a step-by-step trace with timestamps\n"
         "  --trace-requests         with --log: every extension-unit request too\n"
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
         "  2    usage error, or a file that cannot be read or written\n"
         "  3    no camera found\n"
         "  4    the camera failed a request or could not be opened\n"
         "  130  interrupted during a write that then completed (the write is never\n"
         "       stopped midway; a failed write keeps its own code)\n";
}

}  // namespace velkor::tool
