// The tool's exit codes; scripts on test stations branch on them.
#pragma once

namespace velkor::tool {

constexpr int kExitDone = 0;
constexpr int kExitCheckFailed = 1;   // verify found differences, or a write failed its check
constexpr int kExitUsage = 2;         // bad command line, or a file that cannot be used
constexpr int kExitNoCamera = 3;      // no camera found (or none at the given --device)
constexpr int kExitCameraFailed = 4;  // the camera failed a request or could not be opened
// Ctrl-C (or a termination request) arrived during a write that then completed successfully;
// the shell's code for an interrupted program. A failed write keeps its own code.
constexpr int kExitInterrupted = 130;

}  // namespace velkor::tool
