// Interrupt bookkeeping shared with the platform's handler; lock-free, so safe in a handler.
#include "service/interrupt_state.h"

namespace velkor::tool {

InterruptState& Interrupts() {
  static InterruptState state;
  return state;
}

bool TakeInterrupt(bool* first) {
  InterruptState& state = Interrupts();
  if (!state.writing.load()) {
    *first = false;
    return false;
  }
  *first = !state.interrupted.exchange(true);
  return true;
}

}  // namespace velkor::tool
