// The controller's side of the vendor extension unit: validation of each request and the
// work behind selectors 1 to 5.
#include <algorithm>

#include "rigs/sim/sim_camera.h"
#include "rigs/sim/sim_controller_registers.h"

namespace velkor::sim {

namespace {

constexpr std::uint32_t kFlagsGet = 0x10000001;
constexpr std::uint32_t kFlagsSet = 0x10000002;
constexpr std::uint32_t kFlagsSetSupport = 0x10000100;

constexpr std::uint8_t kRegisterWrite = 0x00;
constexpr std::uint8_t kRegisterLatch = 0xFF;

constexpr std::uint8_t kMaxChunk = 8;
constexpr std::uint8_t kFlashReadRequest = 0x80;
constexpr std::uint8_t kFlashControllerErase = 0xC8;
constexpr std::uint8_t kFlashEraseAt = 0x40;
constexpr std::uint8_t kMemoryReadCount = 0x08;

std::uint16_t AddressOf(const std::uint8_t* payload) {
  return static_cast<std::uint16_t>(payload[0] | (payload[1] << 8));
}

// Reply bytes 3 + delivered to 10 carry the poison pattern instead of data nobody asked for.
void PoisonBeyond(std::uint8_t* payload, std::uint8_t delivered) {
  for (std::uint8_t i = delivered; i < kMaxChunk; ++i) {
    payload[3 + i] = SimCamera::kReplyPoison[i % 4];
  }
}

}  // namespace

std::uint32_t SelectorPayloadSize(std::uint32_t selector) {
  switch (selector) {
    case 1:
      return 4;
    case 2:
      return 8;
    case 3:
    case 4:
    case 5:
      return 12;
    default:
      return 0;
  }
}

HResult SimCamera::HandleRequest(std::uint32_t selector, std::uint32_t flags, std::uint8_t* payload,
                                 std::uint32_t length) {
  return HandleRequest(selector, flags, payload, length, ownRequests_ + 1);
}

HResult SimCamera::HandleRequest(std::uint32_t selector, std::uint32_t flags, std::uint8_t* payload,
                                 std::uint32_t length, std::uint32_t requestNumber) {
  ownRequests_ = requestNumber;
  currentRequest_ = requestNumber;
  if (selector == 0) {
    // The node probe; the world normally answers it before it gets here.
    return flags == kFlagsSetSupport ? hr::kOk : hr::kInvalidArgument;
  }
  const std::uint32_t size = SelectorPayloadSize(selector);
  if (size == 0) {
    return hr::kNotFound;  // unknown property id in the set
  }
  if ((flags != kFlagsSet && flags != kFlagsGet) || payload == nullptr || length != size) {
    return hr::kInvalidArgument;
  }
  const bool set = flags == kFlagsSet;
  switch (selector) {
    case 1:
      return HandleRegister(set, payload);
    case 2:
      return HandleBus(set, payload);
    case 3:
      return HandleFlash(set, payload);
    case 4:
      return HandleMemory(set, payload);
    default:
      return HandleFlashQuery(set, payload);
  }
}

HResult SimCamera::HandleRegister(bool set, std::uint8_t* payload) {
  if (!set) {
    const std::uint8_t value = HostReadRegister(latchedRegister_);
    std::fill_n(payload, 4, 0);
    payload[2] = value;
    return hr::kOk;
  }
  const std::uint16_t reg = AddressOf(payload);
  if (payload[3] == kRegisterWrite) {
    WriteRegister(reg, payload[2]);
  } else if (payload[3] == kRegisterLatch) {
    latchedRegister_ = reg;
  } else {
    return hr::kInvalidArgument;
  }
  return hr::kOk;
}

HResult SimCamera::HandleBus(bool set, std::uint8_t* payload) {
  if (set) {
    std::copy_n(payload, lastBusSet_.size(), lastBusSet_.begin());
    ++busSetCount_;
    return hr::kOk;
  }
  // Nothing sits behind the bus: the reply echoes what the last SET carried from byte 2 on.
  std::fill_n(payload, lastBusSet_.size(), 0);
  std::copy(lastBusSet_.begin() + 2, lastBusSet_.end(), payload + 2);
  return hr::kOk;
}

HResult SimCamera::HandleFlash(bool set, std::uint8_t* payload) {
  // While the host holds the flash interface (0x1080 = 1) the controller's own program, read
  // and erase cannot reach the flash; its firmware does not report that.
  const bool cutOff = HostHoldsFlashInterface();
  if (!set) {
    std::uint8_t data[kMaxChunk];
    flash_->Read(flashReadPosition_, data);
    if (cutOff) {
      NoteViolation(SimViolationKind::kControllerFlashPathWhileHostHolds, flashReadPosition_,
                    static_cast<std::uint8_t>(kFlashReadRequest | flashReadStep_),
                    "flash read while 0x1080 = 1");
      std::fill_n(data, kMaxChunk, 0xFF);
    }
    std::fill_n(payload, 12, 0);
    for (std::uint8_t i = 0; i < flashReadStep_; ++i) {
      const auto address = static_cast<std::uint16_t>(flashReadPosition_ + i);
      payload[3 + i] = FlipReadBack(address, data[i]);
    }
    PoisonBeyond(payload, flashReadStep_);
    flashReadPosition_ = static_cast<std::uint16_t>(flashReadPosition_ + flashReadStep_);
    return hr::kOk;
  }
  const std::uint16_t address = AddressOf(payload);
  const std::uint8_t command = payload[2];
  if (command <= kMaxChunk) {
    if (cutOff) {
      NoteViolation(SimViolationKind::kControllerFlashPathWhileHostHolds, address, command,
                    "flash program while 0x1080 = 1");
      return hr::kOk;
    }
    if (config_.programFailsFrom != 0 && currentRequest_ >= config_.programFailsFrom) {
      return hr::kFail;
    }
    // The firmware does not report a refused program; a later read-back shows it.
    flash_->Program(address, std::span<const std::uint8_t>(payload + 3, command));
  } else if ((command & kFlashReadRequest) && (command & 0x7F) <= kMaxChunk) {
    flashReadPosition_ = address;
    flashReadStep_ = command & 0x7F;
  } else if (command == kFlashControllerErase) {
    ++controllerEraseRequests_;
    if (cutOff) {
      NoteViolation(SimViolationKind::kControllerFlashPathWhileHostHolds, address, command,
                    "controller erase while 0x1080 = 1");
      return hr::kOk;
    }
    // The controller waits for its own erase before it answers (unless configured not to).
    if (flash_->EraseChip(config_.chipEraseMs) && config_.controllerAwaitsErase) {
      clock_.Advance(config_.chipEraseMs);
    }
  } else if (command == kFlashEraseAt) {
    eraseFlashAtCalls_.push_back(
        {payload[3], static_cast<std::uint16_t>(payload[4] | (payload[5] << 8))});
  } else {
    return hr::kInvalidArgument;
  }
  return hr::kOk;
}

std::uint8_t SimCamera::FlipReadBack(std::uint16_t address, std::uint8_t value) const {
  const auto mask = static_cast<std::uint8_t>(config_.readBackFlipMask);
  if (config_.readBackFlipOffset >= 0 && address != config_.readBackFlipOffset) {
    return value;
  }
  return value ^ mask;
}

HResult SimCamera::HandleMemory(bool set, std::uint8_t* payload) {
  if (set) {
    if (payload[2] != kMemoryReadCount) {
      return hr::kInvalidArgument;
    }
    memoryReadAddress_ = AddressOf(payload);
    return hr::kOk;
  }
  std::fill_n(payload, 12, 0);
  payload[2] = config_.memoryReadCount;
  // However many bytes the count claims, at most 8 follow it.
  const std::uint8_t delivered = std::min(config_.memoryReadCount, kMaxChunk);
  for (std::uint8_t i = 0; i < delivered; ++i) {
    payload[3 + i] = memory_[static_cast<std::uint16_t>(memoryReadAddress_ + i)];
  }
  PoisonBeyond(payload, delivered);
  return hr::kOk;
}

HResult SimCamera::HandleFlashQuery(bool set, std::uint8_t* payload) {
  if (set) {
    return hr::kInvalidArgument;  // read-only
  }
  std::fill_n(payload, 12, 0);
  payload[0] = static_cast<std::uint8_t>(config_.flashWord & 0xFF);
  payload[1] = static_cast<std::uint8_t>(config_.flashWord >> 8);
  payload[2] = config_.flashMode;
  return hr::kOk;
}

}  // namespace velkor::sim
