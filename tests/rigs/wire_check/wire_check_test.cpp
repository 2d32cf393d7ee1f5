// The rig's wire check: a recorded USB trace against a simulator-level reference, with the
// faults it exists to catch planted one at a time.
#include <gtest/gtest.h>

#include <functional>

#include "rigs/wire_check/wire_check.h"

namespace velkor::rig {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kUnit = 3;

UsbRequest Usb(std::uint8_t type, std::uint8_t request, std::uint16_t value, std::uint16_t index,
               std::uint16_t length, Bytes data, std::string outcome = "ok") {
  return {{type, request, value, index, length}, std::move(outcome), std::move(data)};
}

// The reference of a register read (SET then GET on selector 1) and a flash chunk (selector 3),
// and the trace of the same requests as the driver sends them, its first-use queries included.
class WireCheckTest : public ::testing::Test {
 protected:
  WireCheckTest() {
    reference_ = {{1, true, {0x84, 0x10, 0x00, 0xFF}},
                  {1, false, {0x00, 0x00, 0x01, 0x00}},
                  {3, true, {0x00, 0x01, 0x03, 0xAA, 0xBB, 0xCC, 0, 0, 0, 0, 0, 0}}};
    usb_ = {Usb(0x80, 0x06, 0x0100, 0, 18, Bytes(18, 1)),  // enumeration is not compared
            Usb(0xA1, 0x85, 0x0100, 0x0300, 2, {4, 0}),
            Usb(0xA1, 0x86, 0x0100, 0x0300, 1, {3}),
            Usb(0x21, 0x01, 0x0100, 0x0300, 4, {0x84, 0x10, 0x00, 0xFF}),
            Usb(0xA1, 0x81, 0x0100, 0x0300, 4, {0x00, 0x00, 0x01, 0x00}),
            Usb(0xA1, 0x85, 0x0300, 0x0300, 2, {12, 0}),
            Usb(0xA1, 0x86, 0x0300, 0x0300, 1, {3}),
            Usb(0x21, 0x01, 0x0300, 0x0300, 12,
                {0x00, 0x01, 0x03, 0xAA, 0xBB, 0xCC, 0, 0, 0, 0, 0, 0})};
  }
  WireCheckResult Check() const { return CheckWire(usb_, reference_, kUnit, 0); }

  std::vector<ReferenceRequest> reference_;
  std::vector<UsbRequest> usb_;
};

TEST_F(WireCheckTest, FaithfulTraceMatchesRequestForRequest) {
  const WireCheckResult result = Check();

  EXPECT_EQ(result.mismatches, 0u) << (result.messages.empty() ? "" : result.messages[0]);
  EXPECT_EQ(result.compared, 3u);
  EXPECT_EQ(result.driverQueries, 4u);
  EXPECT_EQ(result.setCur, 2u);
  EXPECT_EQ(result.referenceSets, 2u);
}

TEST_F(WireCheckTest, EachFramingOrPayloadFaultIsFound) {
  struct Fault {
    const char* name;
    std::function<void(UsbRequest&)> plant;
    std::size_t mismatches;  // a misaddressed request is also one the unit never got
  };
  const std::vector<Fault> faults = {
      {"payload byte", [](UsbRequest& r) { r.data[4] ^= 0x01; }, 1},
      {"unit id", [](UsbRequest& r) { r.setup.index = 0x0400; }, 2},
      {"interface", [](UsbRequest& r) { r.setup.index = 0x0301; }, 1},
      {"selector", [](UsbRequest& r) { r.setup.value = 0x0400; }, 1},
      {"length", [](UsbRequest& r) { r.setup.length = 8; }, 1},
      {"request", [](UsbRequest& r) { r.setup.request = 0x81; }, 1},
      {"stalled", [](UsbRequest& r) { r.outcome = "stall"; }, 1},
  };
  for (const Fault& fault : faults) {
    std::vector<UsbRequest> usb = usb_;
    fault.plant(usb.back());
    const WireCheckResult result = CheckWire(usb, reference_, kUnit, 0);
    EXPECT_EQ(result.mismatches, fault.mismatches) << fault.name;
    EXPECT_EQ(result.messages.size(), fault.mismatches) << fault.name;
  }
}

TEST_F(WireCheckTest, LostOrExtraRequestsAndRepeatedDriverQueriesAreMismatches) {
  std::vector<UsbRequest> lost = usb_;
  lost.pop_back();
  std::vector<UsbRequest> extra = usb_;
  extra.push_back(usb_.back());
  std::vector<UsbRequest> requeried = usb_;
  requeried.insert(requeried.begin() + 3, usb_[1]);

  EXPECT_EQ(CheckWire(lost, reference_, kUnit, 0).mismatches, 1u);
  EXPECT_EQ(CheckWire(extra, reference_, kUnit, 0).mismatches, 1u);
  EXPECT_EQ(CheckWire(requeried, reference_, kUnit, 0).mismatches, 1u);
  EXPECT_EQ(CheckWire({}, reference_, kUnit, 0).mismatches, 3u);
}

TEST(WireRecordTest, RecordLinesParseBackToTheirRequest) {
  const auto request = ParseRecordLine("a1 81 0300 0300 000c ok 000102030405060708090a0b");
  const auto stalled = ParseRecordLine("21 01 0100 0300 0004 stall -");

  ASSERT_TRUE(request.has_value());
  EXPECT_EQ(request->setup.requestType, 0xA1);
  EXPECT_EQ(request->setup.value, 0x0300);
  EXPECT_EQ(request->setup.length, 12);
  EXPECT_EQ(request->data, (Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  ASSERT_TRUE(stalled.has_value());
  EXPECT_EQ(stalled->outcome, "stall");
  EXPECT_TRUE(stalled->data.empty());
  EXPECT_FALSE(ParseRecordLine("21 01 0100").has_value());
  EXPECT_FALSE(ParseRecordLine("21 01 0100 0300 0004 ok 0x1").has_value());
}

}  // namespace
}  // namespace velkor::rig
