// velkor-wire-check: the kernel rig's USB-level wire check. It runs a whole update in-process
// against the simulated camera (the same application, image and camera as the rig's) and
// compares the extension-unit requests with each requests.txt that the emulated USB camera
// recorded while the real updater ran through the kernel. Exit code 0 when every file matches.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/linux/embedded_resources.h"
#include "rigs/wire_check/reference_update.h"
#include "rigs/wire_check/wire_check.h"
#include "rigs/usb_camera/camera_descriptors.h"
#include "rigs/usb_camera/emulated_camera.h"

int main(int argc, char** argv) {
  using namespace velkor;
  if (argc < 2) {
    std::fprintf(stderr, "usage: velkor-wire-check requests.txt...\n");
    return 2;
  }
  // The rig's wire-check camera erases in no time, so the update's request sequence does not
  // depend on how fast the machine runs it.
  EmbeddedResources image;
  const rig::ReferenceRun reference = rig::RunReferenceUpdate(usbcam::RigCameraConfig(0, 0), image);
  if (reference.resultLog != "Pass\r\nR06.00.01\r\n") {
    std::fprintf(stderr, "velkor-wire-check: the reference update did not pass\n");
    return 1;
  }
  const usbcam::CameraModel model = usbcam::VelkorCameraModel();
  bool allMatch = true;
  for (int i = 1; i < argc; ++i) {
    std::ifstream in(argv[i]);
    if (!in) {
      std::printf("%s: cannot read\n", argv[i]);
      allMatch = false;
      continue;
    }
    std::vector<rig::UsbRequest> usb;
    std::string line;
    std::size_t lineNumber = 0;
    bool readable = true;
    while (std::getline(in, line)) {
      ++lineNumber;
      std::optional<rig::UsbRequest> request = rig::ParseRecordLine(line);
      if (!request) {
        std::printf("%s:%zu: unreadable record\n", argv[i], lineNumber);
        readable = false;
        break;
      }
      usb.push_back(std::move(*request));
    }
    const rig::WireCheckResult result = rig::CheckWire(
        usb, reference.requests, model.extensionUnitId, usbcam::kVideoControlInterface);
    std::printf(
        "%s: %zu requests compared with %zu of the simulator, %zu mismatches; SET_CUR at the "
        "device %zu, sent by the update %zu; %zu GET_LEN/GET_INFO of the driver\n",
        argv[i], result.compared, reference.requests.size(), result.mismatches, result.setCur,
        result.referenceSets, result.driverQueries);
    for (const std::string& message : result.messages) {
      std::printf("  %s\n", message.c_str());
    }
    allMatch = allMatch && readable && result.mismatches == 0 &&
               result.setCur == result.referenceSets && !usb.empty();
  }
  return allMatch ? 0 : 1;
}
