// The USB/IP wire format between the kernel's virtual host controller (vhci_hcd) and a device
// server: 48-byte headers in network byte order, each command followed by its OUT data and
// each submit reply by its IN data. Only what a device without isochronous endpoints needs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace velkor::usbcam::usbip {

constexpr std::size_t kHeaderSize = 48;
using Header = std::array<std::uint8_t, kHeaderSize>;

constexpr std::uint32_t kCmdSubmit = 0x0001;
constexpr std::uint32_t kCmdUnlink = 0x0002;
constexpr std::uint32_t kRetSubmit = 0x0003;
constexpr std::uint32_t kRetUnlink = 0x0004;

constexpr std::uint32_t kDirectionOut = 0;
constexpr std::uint32_t kDirectionIn = 1;

// USB speeds as vhci_hcd's sysfs attach file takes them.
constexpr unsigned kSpeedHigh = 3;

struct Command {
  std::uint32_t command = 0;
  std::uint32_t seqnum = 0;
  std::uint32_t devid = 0;
  std::uint32_t direction = 0;
  std::uint32_t endpoint = 0;
  // CMD_SUBMIT
  std::uint32_t transferFlags = 0;
  std::int32_t transferLength = 0;  // OUT: the bytes that follow the header; IN: buffer size
  std::int32_t numberOfPackets = 0;
  std::array<std::uint8_t, 8> setup{};
  // CMD_UNLINK: the submit to cancel
  std::uint32_t unlinkSeqnum = 0;
};

// A CMD_SUBMIT or CMD_UNLINK; nothing for another command code.
std::optional<Command> ParseCommand(const Header& header);

// RET_SUBMIT answering `command`: status 0 or a negative errno (-EPIPE for a stall) and the
// length of the IN data that follows.
Header SubmitReply(const Command& command, std::int32_t status, std::int32_t actualLength);
// RET_UNLINK answering an unlink `command`.
Header UnlinkReply(const Command& command, std::int32_t status);

// Bytes of OUT data that follow a command header: the transfer length of an OUT submit, else 0.
// Nothing for a length that is negative or larger than any control or bulk transfer here.
std::optional<std::size_t> OutDataLength(const Command& command);

// Same layout, for tests that play the host side.
Header SubmitCommand(std::uint32_t seqnum, std::uint32_t direction, std::uint32_t endpoint,
                     std::int32_t transferLength, const std::array<std::uint8_t, 8>& setup);

}  // namespace velkor::usbcam::usbip
