// The terminal dialog as the Linux programs set it up on their own stdin and stdout: drawn in
// place on a terminal, as plain lines into a pipe or file, keys read only from a terminal in
// whose foreground the process runs.
#pragma once

#include "platform/linux/terminal_backend.h"
#include "platform/linux/terminal_view.h"

namespace velkor {

class TerminalDialog {
 public:
  TerminalDialog();
  TerminalDialog(const TerminalDialog&) = delete;
  TerminalDialog& operator=(const TerminalDialog&) = delete;

  TerminalBackend& backend() { return backend_; }
  bool drawsInPlace() const { return drawsInPlace_; }

 private:
  bool drawsInPlace_;
  bool keyboard_;
  TerminalView view_;
  TerminalBackend backend_;
};

}  // namespace velkor
