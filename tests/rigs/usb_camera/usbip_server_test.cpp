// USB/IP framing and the serving loop, with the test playing the kernel's vhci_hcd over a
// socket pair.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "rigs/usb_camera/usbip_protocol.h"
#include "rigs/usb_camera/usbip_server.h"

namespace velkor::usbcam {
namespace {

using usbip::Header;

std::array<std::uint8_t, 8> SetupBytes(std::uint8_t type, std::uint8_t request, std::uint16_t value,
                                       std::uint16_t index, std::uint16_t length) {
  return {type,
          request,
          static_cast<std::uint8_t>(value),
          static_cast<std::uint8_t>(value >> 8),
          static_cast<std::uint8_t>(index),
          static_cast<std::uint8_t>(index >> 8),
          static_cast<std::uint8_t>(length),
          static_cast<std::uint8_t>(length >> 8)};
}

std::int32_t Be32At(const Header& h, std::size_t at) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(h[at]) << 24 | h[at + 1] << 16 |
                                   h[at + 2] << 8 | h[at + 3]);
}

TEST(UsbipProtocolTest, SubmitCommandRoundTripsInNetworkOrder) {
  const auto setup = SetupBytes(0x21, 0x01, 0x0300, 0x0300, 12);
  const Header header = usbip::SubmitCommand(0x01020304, usbip::kDirectionOut, 0, 12, setup);

  EXPECT_EQ(Be32At(header, 0), 1);  // CMD_SUBMIT, big-endian
  EXPECT_EQ(header[4], 0x01);
  EXPECT_EQ(header[7], 0x04);
  const auto command = usbip::ParseCommand(header);
  ASSERT_TRUE(command.has_value());
  EXPECT_EQ(command->seqnum, 0x01020304u);
  EXPECT_EQ(command->transferLength, 12);
  EXPECT_EQ(command->setup, setup);
  EXPECT_EQ(usbip::OutDataLength(*command), 12u);
}

TEST(UsbipProtocolTest, RepliesCarrySeqnumStatusAndLength) {
  usbip::Command command;
  command.seqnum = 77;

  const Header stalled = usbip::SubmitReply(command, -EPIPE, 0);
  const Header unlinked = usbip::UnlinkReply(command, 0);

  EXPECT_EQ(Be32At(stalled, 0), 3);
  EXPECT_EQ(Be32At(stalled, 4), 77);
  EXPECT_EQ(Be32At(stalled, 20), -EPIPE);
  EXPECT_EQ(Be32At(unlinked, 0), 4);
  EXPECT_EQ(Be32At(unlinked, 4), 77);
}

TEST(UsbipProtocolTest, OnlyOutSubmitsCarryDataAndImpossibleLengthsAreRefused) {
  Header in = usbip::SubmitCommand(1, usbip::kDirectionIn, 0, 64, {});
  Header negative = usbip::SubmitCommand(2, usbip::kDirectionOut, 0, -1, {});
  Header huge = usbip::SubmitCommand(3, usbip::kDirectionOut, 0, 0x7FFFFFFF, {});
  Header unknown{};
  unknown[3] = 9;

  EXPECT_EQ(usbip::OutDataLength(*usbip::ParseCommand(in)), 0u);
  EXPECT_FALSE(usbip::OutDataLength(*usbip::ParseCommand(negative)).has_value());
  EXPECT_FALSE(usbip::OutDataLength(*usbip::ParseCommand(huge)).has_value());
  EXPECT_FALSE(usbip::ParseCommand(unknown).has_value());
}

// The server on one end of a socket pair, the test as the host on the other.
class UsbipServerTest : public ::testing::Test {
 protected:
  UsbipServerTest()
      : endpoint_(
            VelkorCameraModel(),
            [this](std::uint8_t, bool set, std::uint8_t* payload, std::uint16_t size) {
              if (set) {
                lastSet_.assign(payload, payload + size);
              } else {
                std::fill(payload, payload + size, 0xAB);
              }
              return UnitAnswer::kDone;
            },
            ControlFaults{0, 3}) {
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds_), 0);
    server_ = std::thread([this] { end_ = ServeUsbIp(fds_[0], endpoint_, stop_); });
  }
  ~UsbipServerTest() override {
    ::close(fds_[1]);
    JoinServer();
  }

  // Waits for the server to end, then closes its end as the device tool does.
  void JoinServer() {
    if (server_.joinable()) {
      server_.join();
      ::close(fds_[0]);
    }
  }

  void Send(const Header& header, const Bytes& data = {}) {
    // In two pieces, as a stream may deliver it.
    ASSERT_EQ(::write(fds_[1], header.data(), 20), 20);
    ASSERT_EQ(::write(fds_[1], header.data() + 20, 28), 28);
    if (!data.empty()) {
      ASSERT_EQ(::write(fds_[1], data.data(), data.size()), static_cast<ssize_t>(data.size()));
    }
  }
  Header Receive(Bytes* data = nullptr) {
    Header header{};
    ReadExactly(header.data(), header.size());
    const std::int32_t length = Be32At(header, 24);
    if (data != nullptr && Be32At(header, 0) == 3 && length > 0) {
      data->resize(static_cast<std::size_t>(length));
      ReadExactly(data->data(), data->size());
    }
    return header;
  }
  void ReadExactly(std::uint8_t* out, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
      const ssize_t n = ::read(fds_[1], out + got, size - got);
      ASSERT_GT(n, 0) << "the server closed the connection";
      got += static_cast<std::size_t>(n);
    }
  }

  int fds_[2] = {-1, -1};
  std::atomic<bool> stop_{false};
  ServeEnd end_ = ServeEnd::kProtocolError;
  Bytes lastSet_;
  ControlEndpoint endpoint_;
  std::thread server_;
};

TEST_F(UsbipServerTest, ControlTransfersInBothDirectionsAreAnsweredInOrder) {
  Send(usbip::SubmitCommand(1, usbip::kDirectionIn, 0, 64, SetupBytes(0x80, 6, 0x0100, 0, 64)));
  Bytes device;
  const Header first = Receive(&device);
  Send(usbip::SubmitCommand(2, usbip::kDirectionOut, 0, 4, SetupBytes(0x21, 1, 0x0100, 0x0300, 4)),
       {1, 2, 3, 4});
  const Header second = Receive();
  Send(usbip::SubmitCommand(3, usbip::kDirectionIn, 0, 12,
                            SetupBytes(0xA1, 0x81, 0x0300, 0x0300, 12)));
  Bytes reply;
  const Header third = Receive(&reply);

  EXPECT_EQ(Be32At(first, 4), 1);
  EXPECT_EQ(device, DeviceDescriptor(VelkorCameraModel()));
  EXPECT_EQ(Be32At(second, 4), 2);
  EXPECT_EQ(Be32At(second, 20), 0);
  EXPECT_EQ(lastSet_, (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(Be32At(third, 4), 3);
  EXPECT_EQ(reply, Bytes(12, 0xAB));
}

TEST_F(UsbipServerTest, StallsAnswerEpipeAndUnlinksAnswerTheirOwnSeqnum) {
  Send(usbip::SubmitCommand(5, usbip::kDirectionIn, 0, 12,
                            SetupBytes(0xA1, 0x81, 0x0700, 0x0300, 12)));
  const Header stalled = Receive();
  Header unlink = usbip::SubmitCommand(6, 0, 0, 0, {});
  unlink[3] = 2;  // CMD_UNLINK of submit 5
  unlink[23] = 5;
  Send(unlink);
  const Header unlinked = Receive();
  Send(usbip::SubmitCommand(7, usbip::kDirectionIn, 2, 512, {}));  // the streaming endpoint
  const Header bulk = Receive();

  EXPECT_EQ(Be32At(stalled, 20), -EPIPE);
  EXPECT_EQ(Be32At(stalled, 24), 0);
  EXPECT_EQ(Be32At(unlinked, 0), 4);
  EXPECT_EQ(Be32At(unlinked, 4), 6);
  EXPECT_EQ(Be32At(bulk, 20), -EPIPE);
}

TEST_F(UsbipServerTest, UnplugEndsServingWithoutAnsweringTheTransferInFlight) {
  const auto set = SetupBytes(0x21, 1, 0x0100, 0x0300, 4);
  for (std::uint32_t seqnum = 1; seqnum <= 2; ++seqnum) {
    Send(usbip::SubmitCommand(seqnum, usbip::kDirectionOut, 0, 4, set), {0, 0, 0, 0});
    Receive();
  }
  Send(usbip::SubmitCommand(3, usbip::kDirectionOut, 0, 4, set), {0, 0, 0, 0});
  ::shutdown(fds_[1], SHUT_WR);
  JoinServer();

  EXPECT_EQ(end_, ServeEnd::kUnplugged);
  std::uint8_t byte;
  EXPECT_EQ(::read(fds_[1], &byte, 1), 0);  // nothing was answered for the third
}

TEST_F(UsbipServerTest, HostClosingTheConnectionEndsServing) {
  ::shutdown(fds_[1], SHUT_WR);
  JoinServer();

  EXPECT_EQ(end_, ServeEnd::kPeerClosed);
}

}  // namespace
}  // namespace velkor::usbcam
