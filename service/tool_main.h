// The tool's entry point shared by its three programs. Each program installs its platform's
// ports first; RunTool then routes the capture system through its request tap.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/child_process.h"
#include "resources/firmware_version.h"

namespace velkor::tool {

// The tool ships with the updater and carries the embedded image's version.
constexpr const char* kToolVersion = kFirmwareVersion;

struct ToolEnvironment {
  std::string program;     // as named in messages and --help
  std::string extraUsage;  // the program's own options, for --help
  bool stdoutIsTerminal = false;
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  std::uint32_t requestLatencyUs = 0;  // added to every extension-unit request
  bool requestLatencySleeps = false;   // slept rather than spun (see RequestTap)
  // The station runs this program again, once per camera: the launcher starts it, and
  // childCommand gives the program and its own options (those before the subcommand) for the
  // camera at this port. Without them the station cannot run.
  ChildLauncher* childLauncher = nullptr;
  std::function<std::vector<std::string>(const std::string& port)> childCommand;
  std::string hostName;  // recorded with each station attempt
};

// Runs one command line (without the program name); returns the exit code.
int RunTool(const std::vector<std::string>& args, const ToolEnvironment& environment);

}  // namespace velkor::tool
