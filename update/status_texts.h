// The status line's texts during an update, as the updater's window shows them.
#pragma once

namespace velkor::update {

constexpr char kTextInitializeFailed[] = "Device Initialize failed!!!";
constexpr char kTextChecking[] = "Check flash data.";
constexpr char kTextEraseFailed[] = "Erase failed!!!";
constexpr char kTextWriteFailed[] = "Write firmware Failed!!!";
constexpr char kTextCheckFailed[] = "Check flash data Failed!!!";
constexpr char kTextFinished[] = "Update Finish.";
// An attempt failed after the erase may have started; the update runs again from the erase.
constexpr char kTextRetrying[] = "Retrying the update ...";
// The update verified on a later attempt than the first.
constexpr char kTextFinishedAfterRetry[] = "Update Finish. (after a retry)";
// The write protection could not be confirmed back, whatever else happened.
constexpr char kTextRestoreFailed[] = "Restore protection failed!!!";

}  // namespace velkor::update
