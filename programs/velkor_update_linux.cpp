// velkor-update: the updater on Linux. The camera is reached through uvcvideo's extension-unit
// queries, its presence through sysfs, and the dialog is drawn on the terminal (or as plain
// lines when stdout is a pipe or a file). The verdict is left in ./Result.log; exit code 0.
#include "app/velkor_app.h"
#include "platform/dialog_toolkit.h"
#include "platform/linux/embedded_resources.h"
#include "platform/linux/flock_camera_lock.h"
#include "platform/linux/process_exit.h"
#include "platform/linux/real_clock.h"
#include "platform/linux/sysfs_device_tree.h"
#include "platform/linux/terminal_dialog.h"
#include "platform/linux/uvc_capture_system.h"
#include "platform/linux/uvc_device_io.h"
#include "platform/ports.h"

int main() {
  using namespace velkor;

  // Every adapter lives for the whole process: the worker may still use them while the
  // process ends from another thread.
  static linux_platform::SystemDeviceIo deviceIo;
  static linux_platform::UvcCaptureSystem captureSystem(deviceIo, linux_platform::UvcLocations{});
  static linux_platform::SysfsDeviceTree deviceTree("/sys");
  static RealClock clock;
  static ProcessExit process;
  static EmbeddedResources resources;
  static linux_platform::FlockCameraLock cameraLock("velkor-update");

  static TerminalDialog dialog;

  Ports ports;
  ports.captureSystem = &captureSystem;
  ports.deviceTree = &deviceTree;
  ports.clock = &clock;
  ports.process = &process;
  ports.resources = &resources;
  ports.cameraLock = &cameraLock;
  InstallPorts(ports);
  InstallDialogBackend(&dialog.backend());

  const int code = app::UpdaterMain();
  // The dialog was closed before the update ended it: a worker may still be running, so the
  // process ends here without tearing anything down.
  process.Exit(code);
}
