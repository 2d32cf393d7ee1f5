// Request dispatch of the emulated camera's control endpoint, with the simulated camera behind
// its extension unit.
#include <gtest/gtest.h>

#include "rigs/usb_camera/control_endpoint.h"
#include "rigs/usb_camera/emulated_camera.h"

namespace velkor::usbcam {
namespace {

constexpr std::uint16_t kUnitIndex = 3 << 8 | kVideoControlInterface;

SetupPacket Packet(std::uint8_t type, std::uint8_t request, std::uint16_t value,
                   std::uint16_t index, std::uint16_t length) {
  return {type, request, value, index, length};
}

class ControlEndpointTest : public ::testing::Test {
 protected:
  explicit ControlEndpointTest(ControlFaults faults = {})
      : unit_(RigCameraConfig(0, 0)),
        endpoint_(
            VelkorCameraModel(),
            [this](std::uint8_t selector, bool set, std::uint8_t* payload, std::uint16_t size) {
              return unit_(selector, set, payload, size);
            },
            faults) {}

  ControlOutcome SetCur(std::uint8_t selector, Bytes payload) {
    const auto length = static_cast<std::uint16_t>(payload.size());
    return endpoint_.Handle(Packet(0x21, uvc::kSetCur, selector << 8, kUnitIndex, length), payload);
  }
  ControlOutcome Get(std::uint8_t request, std::uint8_t selector, std::uint16_t length,
                     std::uint16_t index = kUnitIndex) {
    return endpoint_.Handle(Packet(0xA1, request, selector << 8, index, length), {});
  }
  std::uint8_t ErrorCode() {
    ControlOutcome outcome = endpoint_.Handle(Packet(0xA1, uvc::kGetCur, 0x0200, 0, 1), {});
    EXPECT_EQ(outcome.kind, ControlOutcome::Kind::kDone);
    return outcome.data.empty() ? 0xFF : outcome.data[0];
  }

  SimulatedUnit unit_;
  ControlEndpoint endpoint_;
};

TEST_F(ControlEndpointTest, EnumerationGetsDescriptorsCutToTheRequestedLength) {
  ControlOutcome device = endpoint_.Handle(Packet(0x80, 0x06, 0x0100, 0, 64), {});
  ControlOutcome configHead = endpoint_.Handle(Packet(0x80, 0x06, 0x0200, 0, 9), {});
  ControlOutcome qualifier = endpoint_.Handle(Packet(0x80, 0x06, 0x0600, 0, 10), {});
  ControlOutcome configure = endpoint_.Handle(Packet(0x00, 0x09, 1, 0, 0), {});

  EXPECT_EQ(device.data, DeviceDescriptor(VelkorCameraModel()));
  ASSERT_EQ(configHead.data.size(), 9u);
  EXPECT_EQ(configHead.data[2] | configHead.data[3] << 8,
            ConfigurationDescriptor(VelkorCameraModel()).size());
  EXPECT_EQ(qualifier.kind, ControlOutcome::Kind::kStall);
  EXPECT_EQ(configure.kind, ControlOutcome::Kind::kDone);
  EXPECT_EQ(endpoint_.configuration(), 1);
}

TEST_F(ControlEndpointTest, RegisterWriteAndReadReachTheSimulatedController) {
  EXPECT_EQ(SetCur(1, {0x06, 0x10, 0x5A, 0x00}).kind, ControlOutcome::Kind::kDone);
  EXPECT_EQ(SetCur(1, {0x06, 0x10, 0x00, 0xFF}).kind, ControlOutcome::Kind::kDone);

  ControlOutcome read = Get(uvc::kGetCur, 1, 4);

  EXPECT_EQ(read.data, (Bytes{0, 0, 0x5A, 0}));
  EXPECT_EQ(unit_.camera().Register(0x1006), 0x5A);
  EXPECT_EQ(endpoint_.extensionSetCurCount(), 2u);
}

TEST_F(ControlEndpointTest, DriverQueriesAnswerLengthInfoAndRange) {
  EXPECT_EQ(Get(uvc::kGetLen, 1, 2).data, (Bytes{4, 0}));
  EXPECT_EQ(Get(uvc::kGetLen, 2, 2).data, (Bytes{8, 0}));
  EXPECT_EQ(Get(uvc::kGetLen, 5, 2).data, (Bytes{12, 0}));
  EXPECT_EQ(Get(uvc::kGetInfo, 3, 1).data, (Bytes{0x03}));
  EXPECT_EQ(Get(uvc::kGetMax, 2, 8).data, Bytes(8, 0xFF));
  EXPECT_EQ(Get(uvc::kGetDef, 4, 12).data, Bytes(12, 0));
  EXPECT_EQ(Get(uvc::kGetRes, 1, 4).data, (Bytes{1, 0, 0, 0}));
  EXPECT_EQ(Get(uvc::kGetMin, 1, 4).data, Bytes(4, 0));
}

TEST_F(ControlEndpointTest, StalledRequestsLeaveTheirErrorCodeUntilTheNextSuccess) {
  EXPECT_EQ(Get(uvc::kGetCur, 6, 12).kind, ControlOutcome::Kind::kStall);  // not in bmControls
  EXPECT_EQ(ErrorCode(), uvc::kErrorInvalidControl);
  EXPECT_EQ(Get(uvc::kGetCur, 1, 4, 9 << 8).kind, ControlOutcome::Kind::kStall);  // no unit 9
  EXPECT_EQ(ErrorCode(), uvc::kErrorInvalidUnit);
  EXPECT_EQ(Get(uvc::kGetCur, 1, 12).kind, ControlOutcome::Kind::kStall);  // wrong length
  EXPECT_EQ(ErrorCode(), uvc::kErrorInvalidRequest);
  EXPECT_EQ(SetCur(5, Bytes(12, 0)).kind, ControlOutcome::Kind::kStall);  // the camera refuses
  EXPECT_EQ(ErrorCode(), uvc::kErrorInvalidRequest);

  EXPECT_EQ(Get(uvc::kGetCur, 5, 12).kind, ControlOutcome::Kind::kDone);
  EXPECT_EQ(ErrorCode(), uvc::kErrorNone);
}

TEST_F(ControlEndpointTest, StreamingProbeKeepsTheOnlyFormatAndFrame) {
  Bytes proposal = DefaultStreamingControl();
  proposal[2] = 2;
  proposal[3] = 7;
  proposal[4] = 0x11;

  ControlOutcome set = endpoint_.Handle(Packet(0x21, uvc::kSetCur, 0x0100, 1, 34), proposal);
  ControlOutcome current = endpoint_.Handle(Packet(0xA1, uvc::kGetCur, 0x0100, 1, 34), {});
  ControlOutcome shortSet =
      endpoint_.Handle(Packet(0x21, uvc::kSetCur, 0x0200, 1, 26), Bytes(26, 0));

  EXPECT_EQ(set.kind, ControlOutcome::Kind::kDone);
  ASSERT_EQ(current.data.size(), 34u);
  EXPECT_EQ(current.data[2], 1);
  EXPECT_EQ(current.data[3], 1);
  EXPECT_EQ(current.data[4], 0x11);
  EXPECT_EQ(shortSet.kind, ControlOutcome::Kind::kStall);
}

TEST_F(ControlEndpointTest, EveryRequestIsRecordedWithItsData) {
  SetCur(1, {0x06, 0x10, 0x00, 0xFF});
  Get(uvc::kGetCur, 1, 4);
  Get(uvc::kGetCur, 7, 12);

  const auto& record = endpoint_.record();
  ASSERT_EQ(record.size(), 3u);
  EXPECT_EQ(FormatRecordLine(record[0]), "21 01 0100 0300 0004 ok 061000ff");
  EXPECT_EQ(FormatRecordLine(record[1]), "a1 81 0100 0300 0004 ok 00000000");
  EXPECT_EQ(FormatRecordLine(record[2]), "a1 81 0700 0300 000c stall -");
}

class ControlEndpointFaultTest : public ControlEndpointTest {
 protected:
  ControlEndpointFaultTest() : ControlEndpointTest(ControlFaults{2, 4, 1500}) {}
};

TEST_F(ControlEndpointFaultTest, InjectedStallAndUnplugHitTheirOwnSetCurOnly) {
  const Bytes write = {0x06, 0x10, 0x01, 0x00};

  EXPECT_EQ(SetCur(1, write).kind, ControlOutcome::Kind::kDone);
  EXPECT_EQ(Get(uvc::kGetCur, 1, 4).kind, ControlOutcome::Kind::kDone);  // GETs are not counted
  EXPECT_EQ(SetCur(1, write).kind, ControlOutcome::Kind::kStall);
  EXPECT_EQ(SetCur(1, write).kind, ControlOutcome::Kind::kDone);
  EXPECT_EQ(SetCur(1, write).kind, ControlOutcome::Kind::kUnplug);
  EXPECT_EQ(endpoint_.extensionSetCurCount(), 4u);
}

TEST_F(ControlEndpointFaultTest, OnlyTheFirstStreamingProbeIsLate) {
  const ControlOutcome first = endpoint_.Handle(Packet(0xA1, uvc::kGetDef, 0x0100, 1, 34), {});
  const ControlOutcome second = endpoint_.Handle(Packet(0xA1, uvc::kGetCur, 0x0100, 1, 34), {});
  const ControlOutcome unit = Get(uvc::kGetCur, 1, 4);

  EXPECT_EQ(first.delayMs, 1500u);
  EXPECT_EQ(first.data, DefaultStreamingControl());
  EXPECT_EQ(second.delayMs, 0u);
  EXPECT_EQ(unit.delayMs, 0u);
}

}  // namespace
}  // namespace velkor::usbcam
