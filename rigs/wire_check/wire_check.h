// The rig's wire check: the extension-unit requests that a whole update sent over USB, as the
// emulated camera recorded them, against the requests the same update sends to the simulator
// in-process. Each request must be framed as the video class frames a unit control and carry
// the same payload, request for request.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "rigs/usb_camera/control_endpoint.h"

namespace velkor::rig {

// One extension-unit request at the simulator level: a SET with the payload sent, or a GET
// with the payload the camera replied.
struct ReferenceRequest {
  std::uint8_t selector = 0;
  bool set = false;
  std::vector<std::uint8_t> payload;
};

// One line of the emulated camera's requests.txt.
struct UsbRequest {
  usbcam::SetupPacket setup;
  std::string outcome;  // ok, stall or unplug
  std::vector<std::uint8_t> data;
};

std::optional<UsbRequest> ParseRecordLine(const std::string& line);

struct WireCheckResult {
  std::size_t compared = 0;  // extension-unit SET_CUR/GET_CUR requests matched up
  std::size_t mismatches = 0;
  std::size_t driverQueries = 0;  // the driver's own GET_LEN/GET_INFO on first use of a selector
  std::size_t setCur = 0;         // SET_CUR requests that reached the unit
  std::size_t referenceSets = 0;  // SET requests in the reference
  std::vector<std::string> messages;  // the first few mismatches, described
};

// unitId and interfaceNumber: where the camera's extension unit sits (wIndex).
WireCheckResult CheckWire(const std::vector<UsbRequest>& usb,
                          const std::vector<ReferenceRequest>& reference, std::uint8_t unitId,
                          std::uint8_t interfaceNumber);

}  // namespace velkor::rig
