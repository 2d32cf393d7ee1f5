// Option handling, the log, the request tap and the dispatch to a subcommand.
#include "service/tool_main.h"

#include "platform/ports.h"
#include "service/commands.h"
#include "service/exit_codes.h"
#include "service/interrupt_state.h"
#include "service/report.h"
#include "service/request_tap.h"
#include "service/trace_log.h"

namespace velkor::tool {

namespace {

bool AsksForJson(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--json") {
      return true;
    }
  }
  return false;
}

int Dispatch(CommandContext& context) {
  switch (context.options.command) {
    case Command::kList:
      return RunList(context);
    case Command::kIdentify:
      return RunIdentify(context);
    case Command::kRead:
      return RunRead(context);
    case Command::kVerify:
      return RunVerify(context);
    case Command::kWrite:
      return RunWrite(context);
    case Command::kStation:
      return RunStationCommand(context);
    case Command::kHistory:
      return RunHistory(context);
    case Command::kNone:
      break;
  }
  return kExitUsage;
}

}  // namespace

int RunTool(const std::vector<std::string>& args, const ToolEnvironment& environment) {
  Interrupts();  // made here, not first inside a signal handler
  const ToolOptionsResult parsed = ParseToolOptions(args);
  TraceLog log;
  if (!parsed.ok) {
    ReportSettings settings{environment.program, "none", AsksForJson(args), false, false};
    Report report(settings, environment.out, environment.err, log);
    report.Summary(nlohmann::json::object(), kExitUsage, parsed.error);
    return kExitUsage;
  }
  const ToolOptions& options = parsed.options;
  if (options.help) {
    std::fputs(ToolUsage(environment.program, environment.extraUsage).c_str(), environment.out);
    return kExitDone;
  }
  if (options.version) {
    std::fprintf(environment.out, "%s %s\n", environment.program.c_str(), kToolVersion);
    return kExitDone;
  }

  // With --csv stdout is the CSV alone: the closing line is left out.
  ReportSettings settings{environment.program, CommandName(options.command), options.json,
                          options.quiet || options.csv, environment.stdoutIsTerminal};
  Report report(settings, environment.out, environment.err, log);
  if (!options.logFile.empty() && !log.Open(options.logFile, options.traceRequests)) {
    report.Summary(nlohmann::json::object(), kExitUsage,
                   options.logFile + ": the log file cannot be created");
    return kExitUsage;
  }
  log.Line(environment.program + " " + kToolVersion + ": " + CommandName(options.command));

  // Every request of the library passes the tap from here on.
  Ports ports = CurrentPorts();
  RequestTap tap;
  tap.SetLatencyMicroseconds(environment.requestLatencyUs);
  tap.SetTrace(&log);
  std::unique_ptr<CaptureSystem> tapped;
  if (ports.captureSystem != nullptr) {
    tapped = TapCaptureSystem(*ports.captureSystem, tap);
  }
  const Ports original = ports;
  ports.captureSystem = tapped.get();
  InstallPorts(ports);

  CommandContext context{options, report, tap, *ports.clock, environment};
  const int code = Dispatch(context);
  log.Line("requests sent: " + std::to_string(tap.count()));
  InstallPorts(original);
  return code;
}

}  // namespace velkor::tool
