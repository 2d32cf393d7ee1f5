// The verdict file "Result.log" and the end of the process.
#pragma once

namespace velkor::app {

enum class Verdict { kPass, kFail, kWrongDevice };

constexpr const char kImageInvalidText[] = "Firmware image invalid!!!";
constexpr const char kResultLogUnwritableText[] = "Cannot write Result.log!!!";

// Writes the verdict's bytes as "Result.log" in the current directory; line ends are the two
// bytes CR LF on every platform. The bytes go to a temporary file beside it that is then
// renamed over it, so that the file holds either what it held before or the whole new verdict,
// never a part. A symbolic link by that name is written through instead. False when the
// verdict could not be written; the file then holds what it held before.
bool WriteResultLog(Verdict verdict);

// Whether "Result.log" can be written here: by creating and removing a temporary file in the
// current directory (or, for a symbolic link, opening its target for appending). False as well
// when something other than a file or link (a directory) has the name.
bool ResultLogWritable();

// Removes a "Result.log" left by an earlier run, so that a run that ends without a verdict
// (the window closed, the file not writable) never leaves an old "Pass" to be read as its own.
// Only a regular file is removed; a symbolic link stays, and the verdict is written through it.
void RemoveStaleResultLog();

// Ends the process with exit code 0, the code of every outcome.
[[noreturn]] void EndProcess();

}  // namespace velkor::app
