// velkor-wire-check: the kernel rig's USB-level wire check. It runs a whole update in-process
// against the simulated camera (the same application, image and camera as the rig's) and
// compares the extension-unit requests with each requests.txt that the emulated USB camera
// recorded while the real updater ran through the kernel. With --tool-write IMAGE the reference
// is the service tool's `write IMAGE` instead, the update each camera of a station gets. Exit
// code 0 when every file matches.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/linux/embedded_resources.h"
#include "rigs/wire_check/reference_tool_write.h"
#include "rigs/wire_check/reference_update.h"
#include "rigs/wire_check/wire_check.h"
#include "rigs/usb_camera/camera_descriptors.h"
#include "rigs/usb_camera/emulated_camera.h"

namespace {

// The simulator's requests for the run the records are compared with, or nullopt (with the
// reason printed) when that run did not pass.
std::optional<std::vector<velkor::rig::ReferenceRequest>> ReferenceRequests(
    const std::string& toolImage) {
  using namespace velkor;
  // The rig's wire-check camera erases in no time, so the update's request sequence does not
  // depend on how fast the machine runs it.
  const sim::SimCameraConfig camera = usbcam::RigCameraConfig(0, 0);
  if (!toolImage.empty()) {
    std::ifstream in(toolImage, std::ios::binary);
    const std::vector<std::uint8_t> image{std::istreambuf_iterator<char>(in), {}};
    const rig::ReferenceWrite reference = rig::RunReferenceToolWrite(camera, image);
    if (reference.exitCode != 0) {
      std::fprintf(stderr, "velkor-wire-check: the reference write of %s ended with %d\n",
                   toolImage.c_str(), reference.exitCode);
      return std::nullopt;
    }
    return reference.requests;
  }
  EmbeddedResources image;
  const rig::ReferenceRun reference = rig::RunReferenceUpdate(camera, image);
  if (reference.resultLog != "Pass\r\nR06.00.01\r\n") {
    std::fprintf(stderr, "velkor-wire-check: the reference update did not pass\n");
    return std::nullopt;
  }
  return reference.requests;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace velkor;
  int first = 1;
  std::string toolImage;
  if (argc > 2 && std::string(argv[1]) == "--tool-write") {
    toolImage = argv[2];
    first = 3;
  }
  if (argc <= first) {
    std::fprintf(stderr, "usage: velkor-wire-check [--tool-write IMAGE] requests.txt...\n");
    return 2;
  }
  const std::optional<std::vector<rig::ReferenceRequest>> reference = ReferenceRequests(toolImage);
  if (!reference) {
    return 1;
  }
  const usbcam::CameraModel model = usbcam::VelkorCameraModel();
  bool allMatch = true;
  for (int i = first; i < argc; ++i) {
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
    const rig::WireCheckResult result =
        rig::CheckWire(usb, *reference, model.extensionUnitId, usbcam::kVideoControlInterface);
    std::printf(
        "%s: %zu requests compared with %zu of the simulator, %zu mismatches; SET_CUR at the "
        "device %zu, sent by the update %zu; %zu GET_LEN/GET_INFO of the driver\n",
        argv[i], result.compared, reference->size(), result.mismatches, result.setCur,
        result.referenceSets, result.driverQueries);
    for (const std::string& message : result.messages) {
      std::printf("  %s\n", message.c_str());
    }
    allMatch = allMatch && readable && result.mismatches == 0 &&
               result.setCur == result.referenceSets && !usb.empty();
  }
  return allMatch ? 0 : 1;
}
