// velkor-tool: the service tool on Linux, reaching the camera through uvcvideo's extension-unit
// queries.
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/linux/flock_camera_lock.h"
#include "platform/linux/own_executable.h"
#include "platform/linux/posix_child_process.h"
#include "platform/linux/process_exit.h"
#include "platform/linux/real_clock.h"
#include "platform/linux/sysfs_device_tree.h"
#include "platform/linux/uvc_capture_system.h"
#include "platform/linux/uvc_device_io.h"
#include "platform/ports.h"
#include "service/posix/posix_interrupt.h"
#include "service/tool_main.h"

int main(int argc, char** argv) {
  using namespace velkor;

  linux_platform::SystemDeviceIo deviceIo;
  linux_platform::UvcCaptureSystem captureSystem(deviceIo, linux_platform::UvcLocations{});
  linux_platform::SysfsDeviceTree deviceTree("/sys");
  RealClock clock;
  ProcessExit process;
  linux_platform::FlockCameraLock cameraLock("velkor-tool");

  Ports ports;
  ports.captureSystem = &captureSystem;
  ports.deviceTree = &deviceTree;
  ports.clock = &clock;
  ports.process = &process;
  ports.cameraLock = &cameraLock;
  InstallPorts(ports);
  tool::InstallPosixInterruptHandlers();

  tool::ToolEnvironment environment;
  environment.program = "velkor-tool";
  environment.stdoutIsTerminal = ::isatty(STDOUT_FILENO) != 0;
  // The station updates each camera with this program again, as `write --device PORT`.
  linux_platform::PosixChildLauncher launcher;
  environment.childLauncher = &launcher;
  environment.childCommand = [self = linux_platform::OwnExecutablePath()](const std::string&) {
    return std::vector<std::string>{self};
  };
  environment.hostName = linux_platform::HostName();
  return tool::RunTool(std::vector<std::string>(argv + 1, argv + argc), environment);
}
