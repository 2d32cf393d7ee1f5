// The Linux programs' close signals: each becomes a request to the dialog, and a second one
// that arrives before the dialog took the first ends the process at once, unless the update
// holds ends. Run in child processes, through the real handler.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/linux/terminal_session.h"

namespace velkor::terminal {
namespace {

// Forks a child that installs the handlers, holds ends as asked, takes two signals without
// taking the first from the handler, and exits 0 when it is still alive afterwards.
int TwoSignalsInAChild(int signal, bool held) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    int wake[2];
    if (::pipe(wake) != 0) {
      ::_exit(3);
    }
    InstallCloseSignals(wake[1]);
    HoldEnds(held);
    ::raise(signal);
    ::raise(signal);
    const int pending = TakePendingSignal();
    ::_exit(pending == signal ? 0 : 4);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class CloseSignal : public ::testing::TestWithParam<int> {};

TEST_P(CloseSignal, SecondOneEndsTheProcessUnlessEndsAreHeld) {
  EXPECT_EQ(TwoSignalsInAChild(GetParam(), true), 0);
  EXPECT_EQ(TwoSignalsInAChild(GetParam(), false), 128 + GetParam());
}

INSTANTIATE_TEST_SUITE_P(Linux, CloseSignal, ::testing::Values(SIGINT, SIGHUP, SIGTERM, SIGQUIT));

}  // namespace
}  // namespace velkor::terminal
