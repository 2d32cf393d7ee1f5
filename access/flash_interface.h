// The controller's serial-flash interface registers and the framing of one flash command.
#pragma once

#include <cstdint>

#include "access/access_context.h"

namespace velkor::access {

// Flash-interface registers of the controller.
constexpr std::uint16_t kRegFlashEnable = 0x1080;  // 1 while a command sequence runs
constexpr std::uint16_t kRegTransfer = 0x1081;     // 1 sends 0x1082, 2 receives into 0x1083
constexpr std::uint16_t kRegDataOut = 0x1082;
constexpr std::uint16_t kRegDataIn = 0x1083;
constexpr std::uint16_t kRegTransferDone = 0x1084;  // reads 1 when the transfer completed
constexpr std::uint16_t kRegChipSelect = 0x1091;    // 0 selects the flash, 1 releases it
constexpr std::uint8_t kTransferSend = 1;
constexpr std::uint8_t kTransferReceive = 2;

// SPI NOR command bytes.
constexpr std::uint8_t kCmdWriteEnable = 0x06;
constexpr std::uint8_t kCmdReadStatus = 0x05;
constexpr std::uint8_t kCmdWriteStatus = 0x01;
constexpr std::uint8_t kCmdEnableWriteStatus = 0x50;
constexpr std::uint8_t kCmdChipErase60 = 0x60;
constexpr std::uint8_t kCmdChipEraseC7 = 0xC7;
constexpr std::uint8_t kStatusWriteInProgress = 0x01;

// Selects the flash, sends one command byte, waits for the transfer and releases the flash.
// True when every register write of the frame went through.
bool SendFlashCommand(DeviceIndex device, std::uint8_t command);

}  // namespace velkor::access
