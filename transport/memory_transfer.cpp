// Chunked memory transfer over the extension unit: an aligning lead piece for writes, full
// pieces of `unit` bytes, and a tail, sent strictly in ascending address order.
#include "transport/memory_transfer.h"

#include <algorithm>
#include <cstring>

#include "platform/ports.h"
#include "transport/extension_unit.h"

namespace velkor::transport {
namespace {

constexpr std::uint32_t kMaxUnit = 8;
// Every request carries a 16-bit address, so a transfer must stay inside 64 KiB.
constexpr std::uint64_t kAddressSpace = 0x10000;

// Where a transfer stopped; each point has its own diagnostic text.
enum FailurePoint { kLeadPiece = 0, kSinglePiece = 1, kFullPieces = 2, kTailPiece = 3 };

bool Fail(FailurePoint point) {
  static const char* const kTexts[] = {"ReqToDriver fail 0!", "ReqToDriver fail 1!",
                                       "ReqToDriver fail 2!", "ReqToDriver fail 3!"};
  if (Diagnostics* diagnostics = CurrentPorts().diagnostics) {
    diagnostics->Write(kTexts[point]);
  }
  return false;
}

std::uint16_t Low16(std::uint32_t address) {
  return static_cast<std::uint16_t>(address & 0xFFFF);
}

// Copies a read piece out of the scratch area; size is at most 8.
void Deliver(std::uint8_t* buffer, std::uint32_t offset, const std::uint8_t* scratch,
             std::uint32_t size) {
  if (size > 0) {
    std::memcpy(buffer + offset, scratch, size);
  }
}

// Where a piece stands: alone (a flash read then sends its own read request first), or inside
// a run of full pieces (a flash read takes the next bytes of the stream opened before the run).
enum class Piece { kLone, kInRun };

bool SendPiece(Piece kind, DeviceIndex device, int operation, std::uint32_t address,
               std::uint8_t* buffer, std::uint32_t offset, std::uint32_t size) {
  std::uint8_t scratch[kMaxUnit] = {};
  const auto count = static_cast<std::uint8_t>(size);
  switch (operation) {
    case kOpWriteFlash:
      return FlashWriteChunk(device, Low16(address), count, size > 0 ? buffer + offset : nullptr);
    case kOpReadFlash:
      if (kind == Piece::kLone && !FlashReadRequest(device, Low16(address), count)) {
        return false;
      }
      if (!FlashReadData(device, scratch)) {
        return false;
      }
      break;
    default:  // kOpReadMemory
      if (!MemoryReadChunk(device, Low16(address), scratch)) {
        return false;
      }
      break;
  }
  Deliver(buffer, offset, scratch, size);
  return true;
}

}  // namespace

bool TransferMemory(DeviceIndex device, int operation, std::uint32_t address, std::uint8_t* buffer,
                    std::uint32_t length, std::uint32_t unit) {
  operation &= 0xFF;
  if (operation != kOpWriteFlash && operation != kOpReadFlash && operation != kOpReadMemory) {
    return false;
  }
  // A transfer running past 0xFFFF would wrap to address 0 and overwrite or misread the start
  // of the flash: refuse it before anything is sent. With unit 0 no byte moves (only one empty
  // piece goes out), so only a transfer that moves bytes can run past the end.
  const std::uint32_t moved = unit == 0 ? 0 : length;
  if (moved > 0 &&
      (buffer == nullptr || static_cast<std::uint64_t>(address) + moved > kAddressSpace)) {
    return false;
  }

  std::uint32_t chunks = 0;
  std::uint32_t tail = 0;
  if (unit != 0) {
    unit = std::min(unit, kMaxUnit);
    tail = length % unit;
    chunks = (length - tail) / unit;
  }
  std::uint32_t running = address;
  std::uint32_t offset = 0;

  // A write starting off a unit boundary first fills up to the boundary.
  if (operation == kOpWriteFlash && unit != 0 && address % unit != 0) {
    std::uint32_t lead = unit - address % unit;
    const bool leadIsWhole = lead >= length;
    if (leadIsWhole) {
      lead = length;
    } else {
      chunks = (length - lead) / unit;
      tail = (length - lead) % unit;
    }
    if (!SendPiece(Piece::kLone, device, operation, address, buffer, 0, lead)) {
      return Fail(kLeadPiece);
    }
    if (leadIsWhole) {
      return true;
    }
    offset = lead;
    running = address + lead;
  }

  // Without full pieces the transfer is one piece, sent even when it is empty.
  if (chunks == 0) {
    if (!SendPiece(Piece::kLone, device, operation, running, buffer, offset, tail)) {
      return Fail(kSinglePiece);
    }
    return true;
  }

  // One read request opens the stream; each data GET then delivers the next unit bytes.
  if (operation == kOpReadFlash &&
      !FlashReadRequest(device, Low16(running), static_cast<std::uint8_t>(unit))) {
    return Fail(kFullPieces);
  }
  for (std::uint32_t piece = 0; piece < chunks; ++piece) {
    if (!SendPiece(Piece::kInRun, device, operation, running, buffer, offset, unit)) {
      return Fail(kFullPieces);
    }
    offset += unit;
    running += unit;
  }

  if (tail != 0 && !SendPiece(Piece::kLone, device, operation, running, buffer, offset, tail)) {
    return Fail(kTailPiece);
  }
  return true;
}

}  // namespace velkor::transport
