// The status line's texts during an update, as the updater's window shows them.
#pragma once

namespace velkor::update {

constexpr char kTextInitializeFailed[] = "Device Initialize failed!!!";
constexpr char kTextChecking[] = "Check flash data.";
constexpr char kTextEraseFailed[] = "Erase failed!!!";
constexpr char kTextWriteFailed[] = "Write firmware Failed!!!";
constexpr char kTextCheckFailed[] = "Check flash data Failed!!!";
constexpr char kTextFinished[] = "Update Finish.";
// The image was written and verified, but the write protection could not be confirmed back.
constexpr char kTextRestoreFailed[] = "Restore protection failed!!!";

}  // namespace velkor::update
