// VelkorUpdate.exe: the firmware updater on the real capture stack, the Configuration Manager
// and the Win32 dialog, with the firmware image from its own resources.
#include "app/velkor_app.h"
#include "platform/ports.h"
#include "platform/win32/cm_device_tree.h"
#include "platform/win32/com_capture_system.h"
#include "platform/win32/mutex_camera_lock.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_dialog_backend.h"
#include "platform/win32/win32_process.h"

int main() {
  using namespace velkor;

  win32::ComCaptureSystem captureSystem;
  win32::CmDeviceTree deviceTree;
  win32::Win32Clock clock;
  win32::Win32Process process;
  win32::Win32ModuleResources resources;
  win32::Win32DialogBackend backend;
  win32::MutexCameraLock cameraLock;

  Ports ports;
  ports.captureSystem = &captureSystem;
  ports.deviceTree = &deviceTree;
  ports.clock = &clock;
  ports.process = &process;
  ports.resources = &resources;
  ports.cameraLock = &cameraLock;
  InstallPorts(ports);
  InstallDialogBackend(&backend);

  const int code = app::UpdaterMain();
  // The dialog was closed: a worker may still be running, so the process ends here without
  // destroying what it may use.
  process.Exit(code);
}
