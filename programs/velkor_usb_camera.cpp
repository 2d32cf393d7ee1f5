// velkor-usb-camera: an emulated USB video-class camera for a Linux kernel's vhci_hcd. It hands
// one end of a socket pair to vhci_hcd's sysfs attach file, so the kernel enumerates a device
// whose every control transfer arrives here as a USB/IP command, with no network involved. The
// camera is the simulated one; when serving ends (SIGTERM, SIGINT, the host dropping the
// device, or an injected unplug) it closes the socket, which unplugs the device, dumps its
// final state for the rig's judge and, with --camera-state, saves the camera's state for the
// next camera process to start from.
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cli/option_reader.h"
#include "rigs/usb_camera/emulated_camera.h"
#include "rigs/usb_camera/usbip_protocol.h"
#include "rigs/usb_camera/usbip_server.h"
#include "rigs/usb_camera/unit_state_file.h"

namespace {

std::atomic<bool> stopRequested{false};

void OnStopSignal(int) {
  stopRequested.store(true);
}

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocked read returns so the loop sees the flag
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

// Hands the kernel its end of the pair: "<port> <socket fd> <devid> <speed>".
bool Attach(const std::string& vhciDir, unsigned port, int kernelEnd) {
  const unsigned devid = (1u << 16) | (port + 2);
  char line[64];
  std::snprintf(line, sizeof(line), "%u %d %u %u", port, kernelEnd, devid,
                velkor::usbcam::usbip::kSpeedHigh);
  std::ofstream attach(vhciDir + "/attach");
  attach << line;
  attach.flush();
  if (!attach) {
    std::fprintf(stderr, "velkor-usb-camera: writing \"%s\" to %s/attach failed: %s\n", line,
                 vhciDir.c_str(), std::strerror(errno));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace velkor::usbcam;
  EmulatedCameraOptionsResult parsed =
      ParseEmulatedCameraOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.ok) {
    std::fprintf(stderr, "velkor-usb-camera: %s\n%s", parsed.error.c_str(),
                 EmulatedCameraUsage().c_str());
    return velkor::cli::kExitBadOptions;
  }
  const EmulatedCameraOptions& options = parsed.options;
  if (options.help) {
    std::fputs(EmulatedCameraUsage().c_str(), stdout);
    return 0;
  }
  InstallStopHandlers();

  std::unique_ptr<SimulatedUnit> simulated;
  ExtensionUnitHandler handler;
  CameraModel model;
  if (options.otherMaker) {
    // Another maker's unit: it takes any SET and answers zeros; the judge counts what came.
    model = OtherMakerCameraModel();
    handler = [](std::uint8_t, bool, std::uint8_t*, std::uint16_t) { return UnitAnswer::kDone; };
  } else {
    model = VelkorCameraModel();
    simulated = std::make_unique<SimulatedUnit>(CameraConfigOf(options), options.sim.faults,
                                                options.eraseAnswerDelayMs);
    std::string error;
    if (!LoadUnitState(*simulated, options, &error)) {
      std::fprintf(stderr, "velkor-usb-camera: %s\n", error.c_str());
      return velkor::cli::kExitBadOptions;
    }
    handler = [unit = simulated.get()](std::uint8_t selector, bool set, std::uint8_t* payload,
                                       std::uint16_t size) {
      return (*unit)(selector, set, payload, size);
    };
  }
  ControlEndpoint endpoint(model, handler, options.faults);

  for (std::uint32_t waited = 0; waited < options.attachDelayMs && !stopRequested; waited += 10) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
    std::perror("velkor-usb-camera: socketpair");
    return 1;
  }
  if (!Attach(options.vhciDir, options.port, pair[1])) {
    return 1;
  }
  ::close(pair[1]);  // the kernel holds its own reference to that end now
  if (!options.readyFile.empty()) {
    std::ofstream(options.readyFile) << "attached\n";
  }

  const ServeEnd end = ServeUsbIp(pair[0], endpoint, stopRequested);
  ::close(pair[0]);  // the kernel sees the connection drop and unplugs the device
  const bool dumped = DumpState(options.stateDir, endpoint, simulated.get(), ServeEndName(end));
  if (!dumped) {
    std::fprintf(stderr, "velkor-usb-camera: could not write the state to %s\n",
                 options.stateDir.c_str());
    return 1;
  }
  std::string error;
  if (simulated && !SaveUnitState(*simulated, options, &error)) {
    std::fprintf(stderr, "velkor-usb-camera: %s\n", error.c_str());
    return 1;
  }
  return end == ServeEnd::kProtocolError ? 1 : 0;
}
