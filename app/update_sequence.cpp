// The updater's side of the update: the trial open on the dialog's thread, then the update flow
// on a worker, shown on the dialog, its verdict in Result.log.
#include "app/update_sequence.h"

#include <span>

#include "access/device.h"
#include "app/app_state.h"
#include "app/camera_lock_target.h"
#include "app/device_tree_probe.h"
#include "app/flash_window.h"
#include "app/result_log.h"
#include "app/target_devices.h"
#include "platform/ports.h"
#include "update/status_texts.h"
#include "update/update_flow.h"

namespace velkor::app {

namespace {

void Sleep(std::uint32_t milliseconds) {
  CurrentPorts().clock->SleepMs(milliseconds);
}

// Opens the camera at TargetIndex; without a matching entry there is nothing to open.
bool OpenTarget(CVelkorDlg* dialog) {
  if (TargetIndex < 0 || TargetIndex >= kPathCount) {
    return false;
  }
  return access::OpenDevice(dialog->DevicePathList[TargetIndex], kPathLength) > 0;
}

[[noreturn]] void FailOpen(CVelkorDlg* dialog) {
  ShowProgress(dialog, 100);
  ShowStatus(dialog, kRed, update::kTextInitializeFailed);
  access::CloseDevice();
  WriteResultLog(Verdict::kFail);
  EndProcess();
}

// The flow's status line, progress bar and verdict on the dialog and in Result.log, and the
// flash window around the release: "Fail" is in Result.log before the release begins, so a
// kill or a power loss from there on leaves "Fail", and the final verdict replaces it whole.
class DialogObserver : public update::UpdateObserver {
 public:
  explicit DialogObserver(CVelkorDlg* dialog) : dialog_(dialog) {}
  void Status(update::StatusColour colour, const char* text) override {
    if (colour == update::StatusColour::kBlue && TheFlashWindow().EndRequested()) {
      return;  // the note that the program ends after the update stays up
    }
    ShowStatus(dialog_, colour == update::StatusColour::kRed ? kRed : kBlue, text);
  }
  void Progress(int percent) override { ShowProgress(dialog_, percent); }
  void StepStarted(update::Step step) override {
    // A release repeated by a retry is inside the window already.
    if (step == update::Step::kRelease && !windowOpened_) {
      windowOpened_ = true;
      OpenFlashWindow();
    }
  }
  void Concluded(const update::UpdateRecord& record) override {
    if (!WriteResultLog(record.passed() ? Verdict::kPass : Verdict::kFail)) {
      // The provisional "Fail" (when the release began) stands.
      ShowProgress(dialog_, 100);
      ShowStatus(dialog_, kRed, kResultLogUnwritableText);
      return;
    }
    if (record.passed() && TheFlashWindow().EndRequested()) {
      ShowStatus(dialog_, kBlue,
                 record.attempts > 1 ? update::kTextFinishedAfterRetry : update::kTextFinished);
    }
  }

 private:
  void OpenFlashWindow() {
    CurrentDialogBackend().HoldSessionEnd(dialog_->GetSafeHwnd(), kSessionEndBlockedReason);
    if (!TheFlashWindow().Open()) {
      // The program is ending: wait here for the end rather than begin the release.
      for (;;) {
        Sleep(1000);
      }
    }
    WriteResultLog(Verdict::kFail);
  }

  CVelkorDlg* dialog_;
  bool windowOpened_ = false;
};

}  // namespace

void ShowStatus(CVelkorDlg* dialog, COLORREF color, const char* text) {
  dialog->StatusLabel.ChangeTextColor(color);
  dialog->StatusLabel.SetWindowText(text);
}

void ShowProgress(CVelkorDlg* dialog, int position) {
  dialog->ProgressBar.SetPos(position);
}

void StartUpdate(CVelkorDlg* dialog) {
  ShowStatus(dialog, kBlue, "Check Hardware ...");
  ShowProgress(dialog, 0);
  if (ProbeDeviceTree() != kProbeCameraPresent) {
    ShowProgress(dialog, 100);
    ShowStatus(dialog, kRed, "Not found device!!!");
    WriteResultLog(Verdict::kWrongDevice);
    EndProcess();
  }
  dialog->StatusLabel.ChangeTextColor(kBlue);
  ShowProgress(dialog, 25);

  // Nothing on the camera has changed yet: a verdict that could not be written ends the run
  // here, with the camera untouched.
  if (!ResultLogWritable()) {
    ShowProgress(dialog, 100);
    ShowStatus(dialog, kRed, kResultLogUnwritableText);
    EndProcess();
  }
  // Before the listing, which already sends requests to identify each device.
  if (!LockCamera()) {
    ShowProgress(dialog, 100);
    ShowStatus(dialog, kRed, kCameraBusyText);
    WriteResultLog(Verdict::kFail);
    EndProcess();
  }
  FindTargetDevices(dialog);
  if (!OpenTarget(dialog)) {
    FailOpen(dialog);
  }
  // A trial open only: it shows the camera can be bound and identified. The worker opens it
  // again on its own thread, since a device is closed on the thread that opened it.
  Sleep(1000);
  access::CloseDevice();

  ShowProgress(dialog, 50);
  ShowStatus(dialog, kBlue, "Update Firmware ...");
  if (WorkerThread == nullptr) {
    WorkerThread = AfxBeginThread(UpdateWorker, dialog);
    if (WorkerThread != nullptr) {
      return;
    }
  }
  // A worker already ran, or none could be started: no update will happen.
  ShowProgress(dialog, 100);
  WriteResultLog(Verdict::kFail);
  EndProcess();
}

UINT UpdateWorker(void* parameter) {
  auto* dialog = static_cast<CVelkorDlg*>(parameter);
  RunUpdate(dialog);
  ShowProgress(dialog, 100);
  return 1;
}

void RunUpdate(CVelkorDlg* dialog) {
  FindTargetDevices(dialog);
  update::UpdateTarget target;
  // Without a matching entry there is nothing to open, and the run fails as a failed open does.
  if (TargetIndex >= 0 && TargetIndex < kPathCount) {
    target.path = dialog->DevicePathList[TargetIndex];
    target.pathLength = kPathLength;
  }
  if (ImageBuffer != nullptr) {
    target.image = std::span<const std::uint8_t>(ImageBuffer, kImageSize);
  }
  DialogObserver observer(dialog);
  // A working open that fails ends the run as a failed trial open does, with a verdict, rather
  // than leaving the window open with none while an unattended script waits.
  const update::UpdateRecord record =
      update::RunUpdate(target, update::UpdateOptions{}, *CurrentPorts().clock, observer);
  // The protection is restored (or the run never released it), the verdict written and the
  // camera closed: from here a request to end acts at once again.
  TheFlashWindow().Close();
  CurrentDialogBackend().ReleaseSessionEnd(dialog->GetSafeHwnd());
  if (record.failure != update::Failure::kOpen) {
    Sleep(1000);
  }
  EndProcess();
}

}  // namespace velkor::app
