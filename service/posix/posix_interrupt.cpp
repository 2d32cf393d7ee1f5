// The POSIX signal handler of the tool.
#include "service/posix/posix_interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "service/interrupt_state.h"

namespace velkor::tool {

namespace {

void OnSignal(int signalNumber) {
  bool first = false;
  if (TakeInterrupt(&first)) {
    if (first) {
      // write(2) is async-signal-safe; stdio is not.
      const ssize_t ignored =
          ::write(STDERR_FILENO, kFinishFirstMessage, std::strlen(kFinishFirstMessage));
      (void)ignored;
    }
    return;
  }
  // No write runs: end as the signal would have without a handler.
  ::signal(signalNumber, SIG_DFL);
  ::raise(signalNumber);
}

}  // namespace

void InstallPosixInterruptHandlers() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;  // requests in flight are restarted, not failed with EINTR
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
    ::sigaction(signalNumber, &action, nullptr);
  }
}

}  // namespace velkor::tool
