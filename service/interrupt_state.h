// What the platform's interrupt handler (a POSIX signal handler or a console control handler)
// and the tool share: whether a write is under way, and whether an interrupt came during it.
// Outside a write the handler lets the interrupt end the process as usual: nothing is written
// to the camera then, and files are only renamed into place once complete.
#pragma once

#include <atomic>

namespace velkor::tool {

struct InterruptState {
  std::atomic<bool> writing{false};
  std::atomic<bool> interrupted{false};
};

// The one instance the handlers see.
InterruptState& Interrupts();

// The line the handler prints (once) when an interrupt arrives during a write.
constexpr char kFinishFirstMessage[] =
    "interrupt received: the write finishes first, so the camera is not left half-written\n";

// Called by the handler: true when the interrupt was taken over by a running write (the
// process must go on), false when the handler should let the process end. Sets *first when
// this is the first interrupt of the write, so the handler prints its message once.
bool TakeInterrupt(bool* first);

// Marks a write as running for its lifetime.
class WriteInProgress {
 public:
  WriteInProgress() { Interrupts().writing = true; }
  ~WriteInProgress() { Interrupts().writing = false; }
  WriteInProgress(const WriteInProgress&) = delete;
  WriteInProgress& operator=(const WriteInProgress&) = delete;
};

}  // namespace velkor::tool
