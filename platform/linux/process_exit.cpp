// ProcessExit: restore the terminal, flush every stdio stream, then end at once.
#include "platform/linux/process_exit.h"

#include <cstdio>
#include <cstdlib>

#include "platform/linux/terminal_session.h"

namespace velkor {

void ProcessExit::Exit(int code) {
  terminal::RestoreTerminal();
  // Held to the end, so the dialog thread cannot draw again after the terminal was restored.
  terminal::OutputMutex().lock();
  std::fflush(nullptr);
  // _Exit instead of exit: the call may come from the worker while the user-interface thread
  // is still in its loop, and running static destructors under a live thread could crash the
  // process after the verdict was written. Files are flushed above; nothing else needs
  // destructors to run.
  std::_Exit(code);
}

}  // namespace velkor
