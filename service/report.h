// Everything the tool tells its user: step events with progress and result, the results of
// list and identify, and the final summary. Human text (a progress bar on a terminal, plain
// lines otherwise) or, with --json, one JSON object per line; every event also goes to the
// --log trace.
#pragma once

#include <cstdio>
#include <map>
#include <string>

#include <nlohmann/json.hpp>

#include "service/trace_log.h"

namespace velkor::tool {

struct ReportSettings {
  std::string program;  // prefix of error lines
  std::string command;  // the subcommand, named in every JSON object
  bool json = false;
  bool quiet = false;
  bool terminal = false;  // stdout is a terminal: progress as a bar redrawn in place
};

class Report {
 public:
  Report(ReportSettings settings, std::FILE* out, std::FILE* err, TraceLog& log);

  void Started(const std::string& step, const std::string& message);
  // percent 0..100; plain lines and JSON events only every ten percent.
  void Progress(const std::string& step, int percent);
  void Finished(const std::string& step, bool ok, const std::string& message);
  void Skipped(const std::string& step, const std::string& message);

  // Result text of list and identify; nothing in JSON mode (the summary carries it).
  void Text(const std::string& line);
  // A result in a format of its own (CSV), written as it is; nothing in JSON mode.
  void Document(const std::string& text);
  // A problem worth a line on stderr whatever the mode.
  void Warning(const std::string& message);

  // The closing object: type, command, exit code and message are added here. Human mode
  // prints the message (stdout on success unless --quiet, stderr otherwise).
  void Summary(nlohmann::json fields, int exitCode, const std::string& message);

  TraceLog& log() { return log_; }

 private:
  void Event(const std::string& step, const char* result, int progress, const std::string& message);
  void EndBar();
  void WriteJson(const nlohmann::json& object);

  ReportSettings settings_;
  std::FILE* out_;
  std::FILE* err_;
  TraceLog& log_;
  std::map<std::string, int> lastTenth_;  // per step: the last ten-percent mark reported
  bool barShown_ = false;
  int barPercent_ = -1;
};

// The "result" word of a summary for an exit code.
const char* ResultWord(int exitCode);

}  // namespace velkor::tool
