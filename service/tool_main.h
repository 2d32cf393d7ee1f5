// The tool's entry point shared by its three programs. Each program installs its platform's
// ports first; RunTool then routes the capture system through its request tap.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace velkor::tool {

constexpr char kToolVersion[] = "1.0.0";

struct ToolEnvironment {
  std::string program;     // as named in messages and --help
  std::string extraUsage;  // the program's own options, for --help
  bool stdoutIsTerminal = false;
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  std::uint32_t requestLatencyUs = 0;  // added to every extension-unit request
};

// Runs one command line (without the program name); returns the exit code.
int RunTool(const std::vector<std::string>& args, const ToolEnvironment& environment);

}  // namespace velkor::tool
