// The presence poll: the dialog's one-second timer waits up to six ticks for the camera and
// starts the update at the first tick that sees it.
#include "app/app_state.h"
#include "app/device_tree_probe.h"
#include "app/result_log.h"
#include "app/update_sequence.h"
#include "app/velkor_dlg.h"
#include "platform/ports.h"

namespace velkor::app {

namespace {

constexpr int kMaxAbsentTicks = 5;

// The image did not load: nothing is written to the camera. The status line already shows
// why; the verdict is left and the process ends after a pause for the operator to read it.
[[noreturn]] void EndWithInvalidImage(CVelkorDlg* dialog) {
  dialog->KillTimer(kPollTimerId);
  ShowProgress(dialog, 100);
  ShowStatus(dialog, kRed, kImageInvalidText);
  WriteResultLog(Verdict::kFail);
  CurrentPorts().clock->SleepMs(1000);
  EndProcess();
}

}  // namespace

void CVelkorDlg::OnTimer(UINT_PTR /*id*/) {
  if (!ImageLoaded) {
    EndWithInvalidImage(this);
  }
  if (ProbeDeviceTree() == kProbeCameraPresent) {
    PresentNow = 1;
    if (PresentBefore == 0) {
      KillTimer(kPollTimerId);
      StartUpdate(this);
      AbsentTicks = 0;
      PresentBefore = PresentNow;
      Default();
      return;
    }
  } else {
    PresentNow = 0;
  }
  ++AbsentTicks;
  if (AbsentTicks > kMaxAbsentTicks) {
    KillTimer(kPollTimerId);
    WriteResultLog(Verdict::kWrongDevice);
    EndProcess();
  }
  PresentBefore = PresentNow;
  Default();
}

}  // namespace velkor::app
