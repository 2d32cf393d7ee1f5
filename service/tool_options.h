// The tool's command line: one subcommand with its file, and options anywhere around it.
#pragma once

#include <string>
#include <vector>

namespace velkor::tool {

// The station's attempt record when --db is not given, in the working directory.
constexpr char kDefaultStationDatabase[] = "velkor-station.db";

enum class Command { kNone, kList, kIdentify, kRead, kVerify, kWrite, kStation, kHistory };

struct ToolOptions {
  Command command = Command::kNone;
  std::string file;        // read, verify, write
  std::string device;      // --device: a device path (or a unique part of one)
  std::string backupFile;  // write --backup
  std::string logFile;     // --log
  std::string database;    // station, history: the attempt record (--db)
  int slots = 24;          // station --slots: cameras updated at once
  bool once = false;       // station --once: the cameras attached now, then end
  std::string since;       // history --since, in the recorded form (2026-12-07T22:00:00.000Z)
  bool csv = false;        // history --csv
  bool traceRequests = false;
  bool json = false;
  bool quiet = false;
  bool help = false;
  bool version = false;
};

struct ToolOptionsResult {
  bool ok = false;
  std::string error;  // one line, when !ok
  ToolOptions options;
};

// Parses the arguments after the program name. Options take "--name value" or "--name=value".
ToolOptionsResult ParseToolOptions(const std::vector<std::string>& args);

// The subcommand's name as it is typed and reported ("list", ...).
const char* CommandName(Command command);
// True for a word that names a subcommand.
bool IsCommandName(const std::string& word);

// For a word before the subcommand: -1 when it is no option of the tool, 0 for a flag, 1 for an
// option that takes a value ("--name=value" counts as a flag: it carries its value).
int ToolOptionArity(const std::string& word);

// The --help text, exit codes included. extra: more text for the program's own options.
std::string ToolUsage(const std::string& program, const std::string& extra);

}  // namespace velkor::tool
