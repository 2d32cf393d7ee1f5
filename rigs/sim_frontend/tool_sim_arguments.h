// The command line of velkor-tool-sim before the subcommand: its own options, the simulator's and
// the tool's, and the cameras the simulated machine presents, each with its own options. A
// station runs the same program once per camera; ChildCommandLine gives that run's options.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "rigs/sim_frontend/sim_options.h"

namespace velkor::sim {

// What the tool makes of a word before the subcommand, so that its words go to it.
struct ToolWords {
  std::function<bool(const std::string&)> isCommand;
  std::function<int(const std::string&)> optionArity;  // -1: not the tool's; 1: takes a value
};

struct ToolSimCamera {
  int number = 1;  // 1-based, in port order
  std::u16string path;
  SimFrontendOptions options;  // the common options with this camera's own on top
  std::uint32_t latencyUs = 0;
  std::string flashFile;              // empty: none
  std::vector<std::string> ownWords;  // its --on-camera words, in order
};

struct ToolSimArguments {
  std::vector<std::string> tool;       // the tool's options and, from the subcommand on, everything
  std::vector<std::string> common;     // this program's and the simulator's words for every camera
  std::vector<ToolSimCamera> cameras;  // what this process presents, in port order
  // --camera-number: the process plays that one camera of a larger machine, at its port.
  bool child = false;
  std::string error;  // one line for a usage error; the rest is unset then
};

ToolSimArguments ReadToolSimArguments(const std::vector<std::string>& args, const ToolWords& words);

// The options (program first, no subcommand) that run the camera at this port alone in a process
// of its own, as it is here. Empty when no camera of these arguments sits at the port.
std::vector<std::string> ChildCommandLine(const ToolSimArguments& arguments,
                                          const std::string& program, const std::string& port);

}  // namespace velkor::sim
