// The Process port on Linux: ends the process after restoring the terminal and flushing output.
#pragma once

#include "platform/process.h"

namespace velkor {

class ProcessExit : public Process {
 public:
  [[noreturn]] void Exit(int code) override;
};

}  // namespace velkor
