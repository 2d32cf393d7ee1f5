// The emulated camera's control endpoint: answers the standard requests of enumeration, the
// video class's requests on the extension unit (handed to a backend), the streaming probe and
// commit controls and the error-code control, and stalls everything else. Every setup packet
// is recorded with its data and outcome.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "rigs/usb_camera/camera_descriptors.h"

namespace velkor::usbcam {

struct SetupPacket {
  std::uint8_t requestType = 0;
  std::uint8_t request = 0;
  std::uint16_t value = 0;
  std::uint16_t index = 0;
  std::uint16_t length = 0;
};

// The 8 bytes of a setup packet as they cross the wire (16-bit fields little-endian).
SetupPacket ParseSetup(const std::uint8_t* bytes);

// Video-class request codes.
namespace uvc {
constexpr std::uint8_t kSetCur = 0x01;
constexpr std::uint8_t kGetCur = 0x81;
constexpr std::uint8_t kGetMin = 0x82;
constexpr std::uint8_t kGetMax = 0x83;
constexpr std::uint8_t kGetRes = 0x84;
constexpr std::uint8_t kGetLen = 0x85;
constexpr std::uint8_t kGetInfo = 0x86;
constexpr std::uint8_t kGetDef = 0x87;
// Error codes of the VideoControl request-error-code control.
constexpr std::uint8_t kErrorNone = 0;
constexpr std::uint8_t kErrorInvalidUnit = 5;
constexpr std::uint8_t kErrorInvalidControl = 6;
constexpr std::uint8_t kErrorInvalidRequest = 7;
}  // namespace uvc

struct ControlOutcome {
  enum class Kind { kDone, kStall, kUnplug };
  Kind kind = Kind::kDone;
  Bytes data;                 // the IN data stage (device to host), at most wLength bytes
  std::uint32_t delayMs = 0;  // how long the device takes before it answers
};

struct RecordedSetup {
  SetupPacket setup;
  Bytes data;  // OUT data as received, or IN data as answered
  ControlOutcome::Kind outcome;
};

// What the unit behind the extension unit made of a request: served, stalled, or the device
// pulled before it could answer.
enum class UnitAnswer { kDone, kStall, kUnplug };

// Serves one extension-unit SET_CUR (set == true, payload holds the data) or GET_CUR (payload
// to be filled).
using ExtensionUnitHandler = std::function<UnitAnswer(std::uint8_t selector, bool set,
                                                      std::uint8_t* payload, std::uint16_t size)>;

struct ControlFaults {
  // The n-th SET_CUR that reaches the extension unit is stalled (1-based; 0: none).
  std::uint32_t stallSetCur = 0;
  // The device is pulled when the n-th SET_CUR reaches the extension unit, before it answers.
  std::uint32_t unplugAtSetCur = 0;
  // The first streaming-probe request is answered this late, as by a camera still starting up:
  // the driver's probe, and with it the video node, waits that long.
  std::uint32_t firstProbeDelayMs = 0;
};

class ControlEndpoint {
 public:
  ControlEndpoint(CameraModel model, ExtensionUnitHandler unit, ControlFaults faults = {});

  // One control transfer: the setup packet and, for host-to-device requests, its data stage.
  ControlOutcome Handle(const SetupPacket& setup, std::span<const std::uint8_t> outData);

  const std::vector<RecordedSetup>& record() const { return record_; }
  // SET_CUR requests that reached the extension unit, stalled ones included.
  std::uint32_t extensionSetCurCount() const { return extensionSetCur_; }
  std::uint32_t extensionRequestCount() const { return extensionRequests_; }
  std::uint8_t configuration() const { return configuration_; }
  const CameraModel& model() const { return model_; }

 private:
  ControlOutcome Standard(const SetupPacket& setup);
  ControlOutcome Class(const SetupPacket& setup, std::span<const std::uint8_t> outData);
  ControlOutcome ExtensionUnit(const SetupPacket& setup, std::span<const std::uint8_t> outData);
  ControlOutcome Streaming(const SetupPacket& setup, std::span<const std::uint8_t> outData);
  ControlOutcome Stall(std::uint8_t errorCode);
  ControlOutcome Reply(const SetupPacket& setup, Bytes data);

  CameraModel model_;
  ExtensionUnitHandler unit_;
  ControlFaults faults_;
  std::vector<RecordedSetup> record_;
  std::uint32_t extensionSetCur_ = 0;
  std::uint32_t extensionRequests_ = 0;
  std::uint8_t configuration_ = 0;
  std::uint8_t lastError_ = uvc::kErrorNone;
  Bytes probe_;
  Bytes commit_;
  bool probed_ = false;
};

// One line per recorded request: "<type> <request> <value> <index> <length> <outcome> <data>",
// numbers in hexadecimal, the data as hex digits ("-" when empty), outcome ok, stall or unplug.
std::string FormatRecordLine(const RecordedSetup& entry);

}  // namespace velkor::usbcam
