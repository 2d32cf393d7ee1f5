// USB/IP header encoding and decoding.
#include "rigs/usb_camera/usbip_protocol.h"

#include <algorithm>

namespace velkor::usbcam::usbip {
namespace {

// Offsets in the header: the basic part (command, seqnum, devid, direction, ep), then the
// command-specific part.
constexpr std::size_t kCommand = 0;
constexpr std::size_t kSeqnum = 4;
constexpr std::size_t kDevid = 8;
constexpr std::size_t kDirection = 12;
constexpr std::size_t kEndpoint = 16;
constexpr std::size_t kFlagsOrStatus = 20;
constexpr std::size_t kLength = 24;
constexpr std::size_t kPackets = 32;
constexpr std::size_t kSetup = 40;

// A control transfer carries at most 64 KiB; nothing here streams more in one submit.
constexpr std::int32_t kMaxTransfer = 0x10000;

std::uint32_t Get32(const Header& h, std::size_t at) {
  return static_cast<std::uint32_t>(h[at]) << 24 | static_cast<std::uint32_t>(h[at + 1]) << 16 |
         static_cast<std::uint32_t>(h[at + 2]) << 8 | static_cast<std::uint32_t>(h[at + 3]);
}

void Put32(Header& h, std::size_t at, std::uint32_t value) {
  h[at] = static_cast<std::uint8_t>(value >> 24);
  h[at + 1] = static_cast<std::uint8_t>(value >> 16);
  h[at + 2] = static_cast<std::uint8_t>(value >> 8);
  h[at + 3] = static_cast<std::uint8_t>(value);
}

Header ReplyBase(std::uint32_t code, const Command& command) {
  Header h{};
  Put32(h, kCommand, code);
  Put32(h, kSeqnum, command.seqnum);
  // The host matches replies by seqnum alone; devid, direction and endpoint go back as zero.
  return h;
}

}  // namespace

std::optional<Command> ParseCommand(const Header& h) {
  Command c;
  c.command = Get32(h, kCommand);
  c.seqnum = Get32(h, kSeqnum);
  c.devid = Get32(h, kDevid);
  c.direction = Get32(h, kDirection);
  c.endpoint = Get32(h, kEndpoint);
  if (c.command == kCmdSubmit) {
    c.transferFlags = Get32(h, kFlagsOrStatus);
    c.transferLength = static_cast<std::int32_t>(Get32(h, kLength));
    c.numberOfPackets = static_cast<std::int32_t>(Get32(h, kPackets));
    std::copy_n(h.begin() + kSetup, 8, c.setup.begin());
    return c;
  }
  if (c.command == kCmdUnlink) {
    c.unlinkSeqnum = Get32(h, kFlagsOrStatus);
    return c;
  }
  return std::nullopt;
}

std::optional<std::size_t> OutDataLength(const Command& c) {
  if (c.command != kCmdSubmit || c.direction != kDirectionOut) {
    return std::size_t{0};
  }
  if (c.transferLength < 0 || c.transferLength > kMaxTransfer) {
    return std::nullopt;
  }
  return static_cast<std::size_t>(c.transferLength);
}

Header SubmitReply(const Command& command, std::int32_t status, std::int32_t actualLength) {
  Header h = ReplyBase(kRetSubmit, command);
  Put32(h, kFlagsOrStatus, static_cast<std::uint32_t>(status));
  Put32(h, kLength, static_cast<std::uint32_t>(actualLength));
  return h;
}

Header UnlinkReply(const Command& command, std::int32_t status) {
  Header h = ReplyBase(kRetUnlink, command);
  Put32(h, kFlagsOrStatus, static_cast<std::uint32_t>(status));
  return h;
}

Header SubmitCommand(std::uint32_t seqnum, std::uint32_t direction, std::uint32_t endpoint,
                     std::int32_t transferLength, const std::array<std::uint8_t, 8>& setup) {
  Header h{};
  Put32(h, kCommand, kCmdSubmit);
  Put32(h, kSeqnum, seqnum);
  Put32(h, kDevid, 0x00010002);
  Put32(h, kDirection, direction);
  Put32(h, kEndpoint, endpoint);
  Put32(h, kLength, static_cast<std::uint32_t>(transferLength));
  std::copy(setup.begin(), setup.end(), h.begin() + kSetup);
  return h;
}

}  // namespace velkor::usbcam::usbip
