// The configuration byte that names the board's write-protect pin: read from the flash, or
// taken from the image where the flash cannot tell.
#include "access/access_calls.h"
#include "access/agreed_read.h"
#include "access/chip_table.h"
#include "access/serial_flash.h"

namespace velkor::access {

namespace {

// An erased byte names pin 7 with the "high" polarity: a value no board is described with, and
// what a flash left erased or half written by an earlier run reads.
constexpr std::uint8_t kErased = 0xFF;

}  // namespace

PinConfig ReadPinConfig(DeviceIndex device, const std::uint8_t* chipId,
                        std::span<const std::uint8_t> image) {
  PinConfig config;
  const std::uint32_t address = ConfigByteAddressFor(chipId);
  std::uint8_t fromFlash = 0;
  const bool flashTells = ReadAgreed(
                              [device, address](std::uint8_t* value) {
                                return TransferMemory(device, kOpReadFlash, address, value, 1);
                              },
                              &fromFlash) &&
                          fromFlash != kErased;
  const bool imageTells = address < image.size();
  if (flashTells) {
    config.first = fromFlash;
    if (imageTells && image[address] != fromFlash) {
      config.alternative = image[address];
    }
  } else if (imageTells) {
    config.first = image[address];
  }
  return config;
}

}  // namespace velkor::access
