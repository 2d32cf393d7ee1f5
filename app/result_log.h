// The verdict file "Result.log" and the end of the process.
#pragma once

namespace velkor::app {

enum class Verdict { kPass, kFail, kWrongDevice };

constexpr const char kImageInvalidText[] = "Firmware image invalid!!!";

// Creates or replaces "Result.log" in the current directory with the verdict's bytes; line ends
// are the two bytes CR LF on every platform. False when the file cannot be written.
bool WriteResultLog(Verdict verdict);

// Removes a "Result.log" left by an earlier run, so that a run that ends without a verdict
// (the window closed, the file not writable) never leaves an old "Pass" to be read as its own.
// Only a regular file is removed; a symbolic link stays, and the verdict is written through it.
void RemoveStaleResultLog();

// Ends the process with exit code 0, the code of every outcome.
[[noreturn]] void EndProcess();

}  // namespace velkor::app
