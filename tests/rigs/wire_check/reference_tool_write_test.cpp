// The service tool's write as the wire check's reference: a record of exactly that write passes,
// a camera that was written twice or not at all does not, and a write that failed on the
// simulator is never taken as the reference.
#include <gtest/gtest.h>

#include "resources/placeholder_image.h"
#include "rigs/usb_camera/camera_descriptors.h"
#include "rigs/usb_camera/control_endpoint.h"
#include "rigs/usb_camera/emulated_camera.h"
#include "rigs/wire_check/reference_tool_write.h"

namespace velkor::rig {
namespace {

// The reference's requests as the emulated camera records them, the driver's first-use queries
// left out (the check counts them apart).
std::vector<UsbRequest> AsUsbRecord(const std::vector<ReferenceRequest>& reference,
                                    std::uint8_t unitId) {
  std::vector<UsbRequest> usb;
  for (const ReferenceRequest& r : reference) {
    const auto length = static_cast<std::uint16_t>(r.payload.size());
    usb.push_back(
        {{static_cast<std::uint8_t>(r.set ? 0x21 : 0xA1),
          r.set ? usbcam::uvc::kSetCur : usbcam::uvc::kGetCur,
          static_cast<std::uint16_t>(r.selector << 8),
          static_cast<std::uint16_t>(unitId << 8 | usbcam::kVideoControlInterface), length},
         "ok",
         r.payload});
  }
  return usb;
}

TEST(ReferenceToolWriteTest, RecordOfOneWholeWriteMatchesAndADoubledOrMissingOneDoesNot) {
  const std::vector<std::uint8_t> image = MakePlaceholderImage();
  const ReferenceWrite reference = RunReferenceToolWrite(usbcam::RigCameraConfig(0, 0), image);
  ASSERT_EQ(reference.exitCode, 0);
  const std::uint8_t unit = usbcam::VelkorCameraModel().extensionUnitId;
  const std::vector<UsbRequest> once = AsUsbRecord(reference.requests, unit);
  std::vector<UsbRequest> twice = once;
  twice.insert(twice.end(), once.begin(), once.end());

  const WireCheckResult faithful =
      CheckWire(once, reference.requests, unit, usbcam::kVideoControlInterface);
  const WireCheckResult doubled =
      CheckWire(twice, reference.requests, unit, usbcam::kVideoControlInterface);
  const WireCheckResult untouched =
      CheckWire({}, reference.requests, unit, usbcam::kVideoControlInterface);

  EXPECT_EQ(faithful.mismatches, 0u);
  EXPECT_EQ(faithful.setCur, faithful.referenceSets);
  EXPECT_EQ(doubled.mismatches, reference.requests.size());
  EXPECT_EQ(untouched.mismatches, reference.requests.size());
}

TEST(ReferenceToolWriteTest, WriteThatFailsOnTheSimulatorIsNoReference) {
  sim::SimCameraConfig broken = usbcam::RigCameraConfig(0, 0);
  broken.programFailsFrom = 1;

  const ReferenceWrite reference = RunReferenceToolWrite(broken, MakePlaceholderImage());

  EXPECT_NE(reference.exitCode, 0);
}

}  // namespace
}  // namespace velkor::rig
