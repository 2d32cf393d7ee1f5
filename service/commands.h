// The subcommands. Each reports through the Report and returns its exit code.
#pragma once

#include <string>

#include "platform/clock.h"
#include "service/report.h"
#include "service/request_tap.h"
#include "service/tool_main.h"
#include "service/tool_options.h"

namespace velkor::tool {

struct CommandContext {
  const ToolOptions& options;
  Report& report;
  RequestTap& tap;
  Clock& clock;
  const ToolEnvironment& environment;
};

int RunList(CommandContext& context);
int RunIdentify(CommandContext& context);
int RunRead(CommandContext& context);
int RunVerify(CommandContext& context);
int RunWrite(CommandContext& context);
int RunStationCommand(CommandContext& context);
int RunHistory(CommandContext& context);

}  // namespace velkor::tool
