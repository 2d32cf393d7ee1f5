// Comparison of USB-level extension-unit traffic with the simulator-level reference.
#include "rigs/wire_check/wire_check.h"

#include <cstdio>
#include <set>
#include <sstream>

#include "rigs/usb_camera/camera_descriptors.h"

namespace velkor::rig {
namespace {

constexpr std::size_t kMessagesKept = 10;
constexpr std::uint8_t kClassInterfaceSet = 0x21;
constexpr std::uint8_t kClassInterfaceGet = 0xA1;

std::optional<std::vector<std::uint8_t>> ParseHex(const std::string& text) {
  std::vector<std::uint8_t> bytes;
  if (text == "-") {
    return bytes;
  }
  if (text.size() % 2 != 0) {
    return std::nullopt;
  }
  for (std::size_t i = 0; i < text.size(); i += 2) {
    unsigned value = 0;
    if (std::sscanf(text.c_str() + i, "%2x", &value) != 1) {
      return std::nullopt;
    }
    bytes.push_back(static_cast<std::uint8_t>(value));
  }
  return bytes;
}

std::string Describe(const UsbRequest& r) {
  char text[80];
  std::snprintf(text, sizeof(text), "%02x %02x %04x %04x %04x %s", r.setup.requestType,
                r.setup.request, r.setup.value, r.setup.index, r.setup.length, r.outcome.c_str());
  return text;
}

class Checker {
 public:
  Checker(std::uint8_t unitId, std::uint8_t interfaceNumber)
      : unitIndex_(static_cast<std::uint16_t>(unitId << 8 | interfaceNumber)),
        interfaceNumber_(interfaceNumber) {}

  void Mismatch(std::size_t at, const std::string& what) {
    ++result.mismatches;
    if (result.messages.size() < kMessagesKept) {
      result.messages.push_back("request " + std::to_string(at) + ": " + what);
    }
  }

  bool IsVideoControlClassRequest(const UsbRequest& r) const {
    return (r.setup.requestType & 0x7F) == kClassInterfaceSet &&
           (r.setup.index & 0xFF) == interfaceNumber_;
  }

  void Check(const std::vector<UsbRequest>& usb, const std::vector<ReferenceRequest>& reference) {
    for (const ReferenceRequest& r : reference) {
      result.referenceSets += r.set ? 1 : 0;
    }
    std::size_t next = 0;
    for (std::size_t at = 0; at < usb.size(); ++at) {
      const UsbRequest& r = usb[at];
      if (!IsVideoControlClassRequest(r) || (r.setup.index >> 8) == 0) {
        continue;  // enumeration, streaming, and the interface's error-code control
      }
      if (r.setup.index != unitIndex_) {
        Mismatch(at, "addressed to another entity: " + Describe(r));
        continue;
      }
      const auto selector = static_cast<std::uint8_t>(r.setup.value >> 8);
      if (r.setup.requestType == kClassInterfaceGet &&
          (r.setup.request == usbcam::uvc::kGetLen || r.setup.request == usbcam::uvc::kGetInfo)) {
        // The driver learns a control's length and capabilities once, before its first use.
        if (!driverQueried_.insert({selector, r.setup.request}).second) {
          Mismatch(at, "driver query repeated: " + Describe(r));
        }
        ++result.driverQueries;
        continue;
      }
      if (r.setup.request == usbcam::uvc::kSetCur) {
        ++result.setCur;
      }
      if (next >= reference.size()) {
        Mismatch(at, "beyond the reference's " + std::to_string(reference.size()) +
                         " requests: " + Describe(r));
        continue;
      }
      Compare(at, r, reference[next++]);
    }
    if (next < reference.size()) {
      Mismatch(usb.size(), std::to_string(reference.size() - next) +
                               " reference requests never reached the device");
      result.mismatches += reference.size() - next - 1;
    }
  }

  void Compare(std::size_t at, const UsbRequest& r, const ReferenceRequest& expected) {
    ++result.compared;
    const std::uint8_t type = expected.set ? kClassInterfaceSet : kClassInterfaceGet;
    const std::uint8_t request = expected.set ? usbcam::uvc::kSetCur : usbcam::uvc::kGetCur;
    const auto value = static_cast<std::uint16_t>(expected.selector << 8);
    const std::uint16_t length = usbcam::ExtensionControlLength(expected.selector);
    std::ostringstream why;
    if (r.setup.requestType != type || r.setup.request != request) {
      why << "expected " << (expected.set ? "SET_CUR" : "GET_CUR");
    } else if (r.setup.value != value) {
      why << "wValue, expected selector " << int(expected.selector) << " << 8";
    } else if (r.setup.length != length || expected.payload.size() != length) {
      why << "wLength, expected " << length << " (reference payload " << expected.payload.size()
          << ")";
    } else if (r.outcome != "ok") {
      why << "not answered";
    } else if (r.data != expected.payload) {
      why << "payload differs from the simulator's";
    } else {
      return;
    }
    Mismatch(at, why.str() + ": " + Describe(r));
  }

  WireCheckResult result;

 private:
  std::uint16_t unitIndex_;
  std::uint8_t interfaceNumber_;
  std::set<std::pair<std::uint8_t, std::uint8_t>> driverQueried_;
};

}  // namespace

std::optional<UsbRequest> ParseRecordLine(const std::string& line) {
  std::istringstream in(line);
  unsigned type = 0, request = 0, value = 0, index = 0, length = 0;
  std::string outcome, data;
  if (!(in >> std::hex >> type >> request >> value >> index >> length >> outcome >> data) ||
      type > 0xFF || request > 0xFF || value > 0xFFFF || index > 0xFFFF || length > 0xFFFF) {
    return std::nullopt;
  }
  std::optional<std::vector<std::uint8_t>> bytes = ParseHex(data);
  if (!bytes) {
    return std::nullopt;
  }
  UsbRequest r;
  r.setup = {static_cast<std::uint8_t>(type), static_cast<std::uint8_t>(request),
             static_cast<std::uint16_t>(value), static_cast<std::uint16_t>(index),
             static_cast<std::uint16_t>(length)};
  r.outcome = outcome;
  r.data = std::move(*bytes);
  return r;
}

WireCheckResult CheckWire(const std::vector<UsbRequest>& usb,
                          const std::vector<ReferenceRequest>& reference, std::uint8_t unitId,
                          std::uint8_t interfaceNumber) {
  Checker checker(unitId, interfaceNumber);
  checker.Check(usb, reference);
  return checker.result;
}

}  // namespace velkor::rig
