// Child process port: the station runs one updater process per camera, so that one camera's
// crash or hang cannot reach another's update.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace velkor {

class ChildProcess {
 public:
  virtual ~ChildProcess() = default;
  // Blocks for the next line the child wrote to its standard output, without the line end.
  // False at the end of its output (it exited, closed it, or was killed).
  virtual bool ReadLine(std::string* line) = 0;
  // Ends the child at once. Safe from another thread while ReadLine blocks; ReadLine then ends.
  virtual void Kill() = 0;
  // Waits for the child to end. Its exit code, or 128 + the signal that ended it.
  virtual int Wait() = 0;
  // The child's peak resident memory in kilobytes as last seen (sampled as it writes lines);
  // 0 when unknown.
  virtual long PeakMemoryKb() const = 0;
};

class ChildLauncher {
 public:
  virtual ~ChildLauncher() = default;
  // Starts argv[0] with these arguments, its standard output a pipe to us, its standard error
  // and input our own. It gets its own process group, so that an interrupt typed at the terminal
  // reaches the station alone and the station decides what the children do. Null and *error
  // set when it cannot start.
  virtual std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& argv,
                                              std::string* error) = 0;
};

}  // namespace velkor
