// Request dispatch of the emulated camera's control endpoint.
#include "rigs/usb_camera/control_endpoint.h"

#include <algorithm>
#include <cstdio>

namespace velkor::usbcam {
namespace {

constexpr std::uint8_t kDirectionIn = 0x80;
constexpr std::uint8_t kTypeMask = 0x60;
constexpr std::uint8_t kTypeStandard = 0x00;
constexpr std::uint8_t kTypeClass = 0x20;
constexpr std::uint8_t kRecipientMask = 0x1F;
constexpr std::uint8_t kRecipientInterface = 0x01;

constexpr std::uint8_t kGetStatus = 0x00;
constexpr std::uint8_t kClearFeature = 0x01;
constexpr std::uint8_t kSetFeature = 0x03;
constexpr std::uint8_t kSetAddress = 0x05;
constexpr std::uint8_t kGetDescriptor = 0x06;
constexpr std::uint8_t kGetConfiguration = 0x08;
constexpr std::uint8_t kSetConfiguration = 0x09;
constexpr std::uint8_t kGetInterface = 0x0A;
constexpr std::uint8_t kSetInterface = 0x0B;

constexpr std::uint8_t kControlErrorCode = 0x02;  // VC_REQUEST_ERROR_CODE_CONTROL
constexpr std::uint8_t kProbeControl = 0x01;
constexpr std::uint8_t kCommitControl = 0x02;
constexpr std::uint8_t kInfoGetSet = 0x03;  // GET_INFO: supports GET and SET

Bytes Le16(std::uint16_t value) {
  return {static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>(value >> 8)};
}

}  // namespace

SetupPacket ParseSetup(const std::uint8_t* b) {
  SetupPacket s;
  s.requestType = b[0];
  s.request = b[1];
  s.value = static_cast<std::uint16_t>(b[2] | b[3] << 8);
  s.index = static_cast<std::uint16_t>(b[4] | b[5] << 8);
  s.length = static_cast<std::uint16_t>(b[6] | b[7] << 8);
  return s;
}

ControlEndpoint::ControlEndpoint(CameraModel model, ExtensionUnitHandler unit, ControlFaults faults)
    : model_(std::move(model)),
      unit_(std::move(unit)),
      faults_(faults),
      probe_(DefaultStreamingControl()),
      commit_(DefaultStreamingControl()) {}

ControlOutcome ControlEndpoint::Handle(const SetupPacket& setup,
                                       std::span<const std::uint8_t> outData) {
  ControlOutcome outcome;
  switch (setup.requestType & kTypeMask) {
    case kTypeStandard:
      outcome = Standard(setup);
      break;
    case kTypeClass:
      outcome = Class(setup, outData);
      break;
    default:
      outcome = Stall(uvc::kErrorInvalidRequest);
      break;
  }
  const bool in = (setup.requestType & kDirectionIn) != 0;
  record_.push_back(
      {setup, in ? outcome.data : Bytes(outData.begin(), outData.end()), outcome.kind});
  return outcome;
}

ControlOutcome ControlEndpoint::Stall(std::uint8_t errorCode) {
  lastError_ = errorCode;
  return {ControlOutcome::Kind::kStall, {}};
}

ControlOutcome ControlEndpoint::Reply(const SetupPacket& setup, Bytes data) {
  if (data.size() > setup.length) {
    data.resize(setup.length);
  }
  return {ControlOutcome::Kind::kDone, std::move(data)};
}

ControlOutcome ControlEndpoint::Standard(const SetupPacket& setup) {
  const std::uint8_t type = static_cast<std::uint8_t>(setup.value >> 8);
  const std::uint8_t index = static_cast<std::uint8_t>(setup.value & 0xFF);
  switch (setup.request) {
    case kGetStatus:
      return Reply(setup, {0, 0});
    case kGetDescriptor:
      if (type == 0x01) {
        return Reply(setup, DeviceDescriptor(model_));
      }
      if (type == 0x02 && index == 0) {
        return Reply(setup, ConfigurationDescriptor(model_));
      }
      if (type == 0x03) {
        if (auto text = StringDescriptor(model_, index)) {
          return Reply(setup, *text);
        }
      }
      return Stall(uvc::kErrorInvalidRequest);  // qualifier, BOS and other descriptors
    case kGetConfiguration:
      return Reply(setup, {configuration_});
    case kSetConfiguration:
      if (setup.value > 1) {
        return Stall(uvc::kErrorInvalidRequest);
      }
      configuration_ = static_cast<std::uint8_t>(setup.value);
      return {};
    case kGetInterface:
      return Reply(setup, {0});
    case kSetInterface:
      // Each interface has alternate setting 0 only.
      return setup.value == 0 && setup.index <= kVideoStreamingInterface
                 ? ControlOutcome{}
                 : Stall(uvc::kErrorInvalidRequest);
    case kClearFeature:
    case kSetFeature:
    case kSetAddress:
      return {};
    default:
      return Stall(uvc::kErrorInvalidRequest);
  }
}

ControlOutcome ControlEndpoint::Class(const SetupPacket& setup,
                                      std::span<const std::uint8_t> outData) {
  if ((setup.requestType & kRecipientMask) != kRecipientInterface) {
    return Stall(uvc::kErrorInvalidRequest);
  }
  const std::uint8_t interfaceNumber = static_cast<std::uint8_t>(setup.index & 0xFF);
  const std::uint8_t entity = static_cast<std::uint8_t>(setup.index >> 8);
  if (interfaceNumber == kVideoStreamingInterface && entity == 0) {
    return Streaming(setup, outData);
  }
  if (interfaceNumber != kVideoControlInterface) {
    return Stall(uvc::kErrorInvalidRequest);
  }
  if (entity == 0) {
    // The interface's own controls: only the error code of the last request is kept.
    if (setup.request == uvc::kGetCur && (setup.value >> 8) == kControlErrorCode) {
      return Reply(setup, {lastError_});
    }
    return Stall(uvc::kErrorInvalidControl);
  }
  if (entity == model_.extensionUnitId) {
    return ExtensionUnit(setup, outData);
  }
  if (entity == model_.cameraTerminalId || entity == model_.outputTerminalId) {
    return Stall(uvc::kErrorInvalidControl);  // neither terminal has a control
  }
  return Stall(uvc::kErrorInvalidUnit);
}

ControlOutcome ControlEndpoint::ExtensionUnit(const SetupPacket& setup,
                                              std::span<const std::uint8_t> outData) {
  ++extensionRequests_;
  const std::uint8_t selector = static_cast<std::uint8_t>(setup.value >> 8);
  const std::uint16_t size = ExtensionControlLength(selector);
  const bool known = size != 0 && (model_.extensionControls >> (selector - 1) & 1) != 0 &&
                     (setup.value & 0xFF) == 0;
  if (!known) {
    return Stall(uvc::kErrorInvalidControl);
  }
  const bool in = (setup.requestType & kDirectionIn) != 0;
  if (setup.request == uvc::kSetCur && !in) {
    ++extensionSetCur_;
    if (extensionSetCur_ == faults_.unplugAtSetCur) {
      return {ControlOutcome::Kind::kUnplug, {}};
    }
    if (extensionSetCur_ == faults_.stallSetCur || setup.length != size || outData.size() != size) {
      return Stall(uvc::kErrorInvalidRequest);
    }
    Bytes payload(outData.begin(), outData.end());
    const UnitAnswer answer = unit_(selector, true, payload.data(), size);
    if (answer != UnitAnswer::kDone) {
      return answer == UnitAnswer::kUnplug ? ControlOutcome{ControlOutcome::Kind::kUnplug, {}}
                                           : Stall(uvc::kErrorInvalidRequest);
    }
    lastError_ = uvc::kErrorNone;
    return {};
  }
  if (!in) {
    return Stall(uvc::kErrorInvalidRequest);
  }
  Bytes reply(size, 0);
  switch (setup.request) {
    case uvc::kGetCur:
      switch (unit_(selector, false, reply.data(), size)) {
        case UnitAnswer::kDone:
          break;
        case UnitAnswer::kStall:
          return Stall(uvc::kErrorInvalidRequest);
        case UnitAnswer::kUnplug:
          return {ControlOutcome::Kind::kUnplug, {}};
      }
      break;
    case uvc::kGetMin:
    case uvc::kGetDef:
      break;  // all zero
    case uvc::kGetMax:
      std::fill(reply.begin(), reply.end(), 0xFF);
      break;
    case uvc::kGetRes:
      reply[0] = 1;
      break;
    case uvc::kGetLen:
      reply = Le16(size);
      break;
    case uvc::kGetInfo:
      reply = {kInfoGetSet};
      break;
    default:
      return Stall(uvc::kErrorInvalidRequest);
  }
  // The control's data stage has a fixed length; the host must ask for exactly that much.
  if (setup.length != reply.size()) {
    return Stall(uvc::kErrorInvalidRequest);
  }
  lastError_ = uvc::kErrorNone;
  return Reply(setup, std::move(reply));
}

ControlOutcome ControlEndpoint::Streaming(const SetupPacket& setup,
                                          std::span<const std::uint8_t> outData) {
  const std::uint8_t control = static_cast<std::uint8_t>(setup.value >> 8);
  if (control != kProbeControl && control != kCommitControl) {
    return Stall(uvc::kErrorInvalidControl);
  }
  Bytes& current = control == kProbeControl ? probe_ : commit_;
  if (!probed_) {
    probed_ = true;
    ControlOutcome outcome = Streaming(setup, outData);
    outcome.delayMs = faults_.firstProbeDelayMs;
    return outcome;
  }
  const std::uint16_t size = static_cast<std::uint16_t>(current.size());
  switch (setup.request) {
    case uvc::kSetCur:
      if ((setup.requestType & kDirectionIn) != 0 || outData.size() != size) {
        return Stall(uvc::kErrorInvalidRequest);
      }
      // The camera has one format and one frame: whatever the host proposes, it keeps those.
      current.assign(outData.begin(), outData.end());
      current[2] = 1;
      current[3] = 1;
      lastError_ = uvc::kErrorNone;
      return {};
    case uvc::kGetCur:
      return Reply(setup, current);
    case uvc::kGetMin:
    case uvc::kGetMax:
    case uvc::kGetDef:
      return Reply(setup, DefaultStreamingControl());
    case uvc::kGetLen:
      return Reply(setup, Le16(size));
    case uvc::kGetInfo:
      return Reply(setup, {kInfoGetSet});
    default:
      return Stall(uvc::kErrorInvalidRequest);
  }
}

std::string FormatRecordLine(const RecordedSetup& entry) {
  char head[64];
  const char* outcome = entry.outcome == ControlOutcome::Kind::kDone    ? "ok"
                        : entry.outcome == ControlOutcome::Kind::kStall ? "stall"
                                                                        : "unplug";
  std::snprintf(head, sizeof(head), "%02x %02x %04x %04x %04x %s ", entry.setup.requestType,
                entry.setup.request, entry.setup.value, entry.setup.index, entry.setup.length,
                outcome);
  std::string line = head;
  if (entry.data.empty()) {
    line += '-';
  }
  static const char kHex[] = "0123456789abcdef";
  for (std::uint8_t byte : entry.data) {
    line += kHex[byte >> 4];
    line += kHex[byte & 0xF];
  }
  return line;
}

}  // namespace velkor::usbcam
