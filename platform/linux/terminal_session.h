// The process's terminal while a dialog is drawn on it: raw keyboard input, the hidden cursor,
// the in-place drawing, and the signals that close the dialog. Everything here is undone by
// RestoreTerminal(), which every way out of the process calls.
#pragma once

#include <mutex>

namespace velkor::terminal {

// Serialises everything written to the terminal (drawing, diagnostics, the final restore).
std::mutex& OutputMutex();

// stdin is a terminal and this process is in its foreground (a background job that touched the
// terminal's mode or read from it would be stopped by the shell's job control).
bool StdinIsForegroundTerminal();

// Puts stdin into non-canonical, no-echo mode so that Enter and Escape arrive as single keys;
// Ctrl-C still raises SIGINT. False (and nothing changed) unless StdinIsForegroundTerminal().
bool EnterRawInput();

// Records what the drawing has done to the terminal, so that a restore can undo it: the cursor
// was hidden, and the cursor sits at the end of an in-place drawing (a newline is owed).
void NoteCursorHidden(bool hidden);
void NoteDrawingOpen(bool open);

// Shows the cursor, ends an open drawing with a newline and restores stdin's mode. Idempotent.
// Takes OutputMutex; call it with the mutex not held.
void RestoreTerminal();
// The same without locks or stdio: for signal handlers.
void RestoreTerminalFromSignal();

// SIGINT, SIGHUP, SIGTERM and SIGQUIT are turned into a byte on wakeFd and a pending signal
// number, so that the dialog's loop closes the dialog. If a second signal arrives before the
// loop took the first (the loop is busy), the terminal is restored and the process ends at once
// with 128 + the signal number, unless ends are held (HoldEnds).
// SIGPIPE is ignored meanwhile: when whatever reads the output goes away, the drawing fails
// quietly and the update goes on, rather than the process dying in the middle of a flash write.
void InstallCloseSignals(int wakeFd);
void RemoveCloseSignals();
// While held, no signal ends the process from its handler; each only asks the dialog to close.
void HoldEnds(bool held);
// The pending signal number, cleared; 0 when none.
int TakePendingSignal();

}  // namespace velkor::terminal
