// The update sequence over the access library, with its status texts, progress positions and
// verdicts.
#include "app/update_sequence.h"

#include <memory>
#include <new>
#include <span>

#include "access/access_calls.h"
#include "access/chip_table.h"
#include "access/device.h"
#include "access/serial_flash.h"
#include "app/app_state.h"
#include "app/device_tree_probe.h"
#include "app/result_log.h"
#include "app/target_devices.h"
#include "app/text_match.h"
#include "platform/ports.h"

namespace velkor::app {

namespace {

constexpr char kInitializeFailed[] = "Device Initialize failed!!!";
// The image was written and verified, but the write protection could not be confirmed back.
constexpr char kRestoreFailed[] = "Restore protection failed!!!";

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
  ShowStatus(dialog, kRed, kInitializeFailed);
  access::CloseDevice();
  WriteResultLog(Verdict::kFail);
  EndProcess();
}

bool CodeIs(const std::uint8_t* chipId, const char* code) {
  return EqualsIgnoringCase(reinterpret_cast<const char*>(chipId), code, 4);
}

}  // namespace

void ShowStatus(CVelkorDlg* dialog, COLORREF color, const char* text) {
  dialog->StatusLabel.ChangeTextColor(color);
  dialog->StatusLabel.SetWindowText(text);
}

void ShowProgress(CVelkorDlg* dialog, int position) {
  dialog->ProgressBar.SetPos(position);
}

std::uint32_t ConfigAddressFor(const std::uint8_t* chipId) {
  const std::uint8_t version = chipId[5];
  if (version == 1 &&
      (CodeIs(chipId, "N8ER") || CodeIs(chipId, "C4SR") || CodeIs(chipId, "W7HR"))) {
    return 0xC034;
  }
  if (version == 2 && CodeIs(chipId, "V6CR")) {
    return 0x000F;
  }
  return 0x8034;
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
  // Cleared so that failed reads select the default configuration address and no pin.
  std::uint8_t chipId[8] = {};
  std::uint8_t configByte = 0;
  std::uint16_t restoreRegister = access::kNoRestoreRegister;

  FindTargetDevices(dialog);
  // A working open that fails ends the run as a failed trial open does, with a verdict, rather
  // than leaving the window open with none while an unattended script waits.
  if (!OpenTarget(dialog)) {
    FailOpen(dialog);
  }
  Sleep(2000);
  access::IdentifyChip(chipId);
  access::ReadMemory(ConfigAddressFor(chipId), &configByte, 1);
  access::SetFlashWriteProtect(0, &restoreRegister, &configByte);

  bool written = false;
  bool verified = false;
  if (!access::EraseFlash()) {
    ShowProgress(dialog, 100);
    ShowStatus(dialog, kRed, "Erase failed!!!");
    WriteResultLog(Verdict::kFail);
  } else if (!access::WriteMemory(0, ImageBuffer, kImageSize)) {
    ShowProgress(dialog, 100);
    ShowStatus(dialog, kRed, "Write firmware Failed!!!");
    WriteResultLog(Verdict::kFail);
  } else if (!VerifyFlash(dialog)) {
    written = true;
    ShowProgress(dialog, 100);
    ShowStatus(dialog, kRed, "Check flash data Failed!!!");
    WriteResultLog(Verdict::kFail);
  } else {
    written = true;
    verified = true;
  }

  // On every path from the erase on the protection is restored and the device closed. A pass
  // is only declared once the restore is confirmed: a camera left unprotected is not a pass.
  // The image stands in for configuration bytes that cannot be read back.
  const std::span<const std::uint8_t> image =
      ImageBuffer != nullptr ? std::span<const std::uint8_t>(ImageBuffer, kImageSize)
                             : std::span<const std::uint8_t>();
  const bool restored = access::SetFlashWriteProtect(1, &restoreRegister, &configByte, image);
  if (verified && restored) {
    ShowStatus(dialog, kBlue, "Update Finish.");
    WriteResultLog(Verdict::kPass);
  } else if (verified) {
    ShowProgress(dialog, 100);
    ShowStatus(dialog, kRed, kRestoreFailed);
    WriteResultLog(Verdict::kFail);
  }
  if (written) {
    access::AfterFlashWrite();
  }
  access::CloseDevice();
  Sleep(1000);
  EndProcess();
}

bool VerifyFlash(CVelkorDlg* dialog) {
  ShowStatus(dialog, kBlue, "Check flash data.");
  ShowProgress(dialog, 75);
  std::unique_ptr<std::uint8_t[]> readBack(new (std::nothrow) std::uint8_t[kImageSize]());
  if (!readBack) {
    return false;
  }
  // A failed read-back proves nothing about the flash, whatever the buffer happens to hold.
  if (!access::ReadMemory(0, readBack.get(), kImageSize)) {
    return false;
  }
  for (std::size_t i = 0; i < kImageSize; ++i) {
    if (readBack[i] != ImageBuffer[i]) {
      return false;
    }
  }
  return true;
}

}  // namespace velkor::app
