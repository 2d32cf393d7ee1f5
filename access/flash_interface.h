// The controller's serial-flash interface registers, the framing of one flash command, and the
// confirmed steps that the erase and the write-protection calls share.
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
constexpr std::uint8_t kStatusWriteEnableLatch = 0x02;

// Flash kind 3 needs the enable-write-status command before a status write, and another value
// in 0x5F5 for host-driven commands.
constexpr int kFlashKindEwsr = 3;

// The controller's flash-access setup registers. On the chips that need them, host-driven
// flash commands reach the flash only while they hold the access values below.
constexpr std::uint16_t kRegSetup5F3 = 0x5F3;
constexpr std::uint16_t kRegSetup5F5 = 0x5F5;
constexpr std::uint16_t kRegsSetup5F8[] = {0x5F8, 0x5F9, 0x5FA, 0x5FB};
constexpr std::uint8_t kAccess5F3 = 0x06;
constexpr std::uint8_t kAccess5F8[] = {0x12, 0x12, 0xED, 0xED};
constexpr std::uint8_t Access5F5(int kind) {
  return kind == kFlashKindEwsr ? 0xAF : 0x02;
}

// How often a request that did not go through is sent again where resending is harmless. The
// flash's release and the interface's switch-off are always sent so: a flash left selected
// swallows the next command, and an interface left on keeps the controller off the flash.
constexpr int kRequestAttempts = 2;

// Selects the flash, sends one command byte, waits for the transfer and releases the flash.
// True when every request went through and the transfer was seen done; stops sending at the
// first that did not, but always releases the flash.
bool SendFlashCommand(DeviceIndex device, std::uint8_t command);
// One read of the status register, the flash released afterwards. True when it went through.
bool ReadFlashStatusOnce(DeviceIndex device, std::uint8_t* status);
// The flash kind, read a second time when the first read fails.
int ReadFlashKindTwice(DeviceIndex device);
// A register write sent again when the request does not go through.
bool WriteRegisterConfirmed(DeviceIndex device, std::uint16_t reg, std::uint8_t value);
// Writes the flash's status register with the interface switched on for it, and reads it back:
// true when the protection bits (SRWD, BP0 to BP2) read back as written. A write that cannot be
// confirmed is repeated a few times, unless the flash never became idle.
bool WriteFlashStatus(DeviceIndex device, int kind, std::uint8_t value);

}  // namespace velkor::access
