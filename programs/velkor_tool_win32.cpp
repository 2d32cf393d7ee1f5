// VelkorTool.exe: the service tool on Windows, on DirectShow and kernel streaming. A console
// program; Ctrl-C and Ctrl-Break during a write are held until the write completes.
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/ports.h"
#include "platform/win32/cm_device_tree.h"
#include "platform/win32/com_capture_system.h"
#include "platform/win32/mutex_camera_lock.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_process.h"
#include "service/interrupt_state.h"
#include "service/tool_main.h"

namespace {

// Runs on a thread of its own that the console starts: TRUE keeps the process alive.
BOOL WINAPI OnConsoleControl(DWORD /*type*/) {
  bool first = false;
  if (!velkor::tool::TakeInterrupt(&first)) {
    return FALSE;  // no write runs: the default handler ends the process
  }
  if (first) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), velkor::tool::kFinishFirstMessage,
              static_cast<DWORD>(std::strlen(velkor::tool::kFinishFirstMessage)), &written,
              nullptr);
  }
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace velkor;

  win32::ComCaptureSystem captureSystem;
  win32::CmDeviceTree deviceTree;
  win32::Win32Clock clock;
  win32::Win32Process process;

  win32::MutexCameraLock cameraLock;
  Ports ports;
  ports.captureSystem = &captureSystem;
  ports.deviceTree = &deviceTree;
  ports.clock = &clock;
  ports.process = &process;
  ports.cameraLock = &cameraLock;
  InstallPorts(ports);
  tool::Interrupts();
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);

  tool::ToolEnvironment environment;
  environment.program = "VelkorTool";
  environment.stdoutIsTerminal = _isatty(_fileno(stdout)) != 0;
  return tool::RunTool(std::vector<std::string>(argv + 1, argv + argc), environment);
}
