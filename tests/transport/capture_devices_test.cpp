// Listing and binding capture devices in simulated worlds of several devices: which are
// listed, which is bound, how paths are stored, and that sessions stay paired per thread.
#include "transport/capture_devices.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "access/device.h"
#include "tests/transport/transport_test_world.h"
#include "transport/utf16_text.h"

namespace velkor::transport {
namespace {

constexpr Guid kOtherType = {0x1, 0x2, 0x3, {4, 5, 6, 7, 8, 9, 10, 11}};

class CaptureDevicesTest : public testing::TransportTest {
 protected:
  void SetUp() override {
    TransportTest::SetUp();
    Install(std::make_unique<sim::SimWorld>());
  }

  // A device whose chip is in the table.
  int AddIdentifiable(const std::u16string& path) {
    sim::SimCaptureDeviceConfig device;
    device.devicePath = path;
    device.camera = std::make_shared<sim::SimCamera>(sim::SimCameraConfig{}, world().clock());
    return world().AddCaptureDevice(std::move(device));
  }

  // A device whose extension unit does not know the vendor set.
  int AddForeign(const std::u16string& path) {
    sim::SimCaptureDeviceConfig device;
    device.devicePath = path;
    return world().AddCaptureDevice(std::move(device));
  }

  // A device that answers but carries a chip no table row describes.
  int AddUnknownChip(const std::u16string& path) {
    sim::SimCameraConfig camera;
    camera.chipRow = -1;
    sim::SimCaptureDeviceConfig device;
    device.devicePath = path;
    device.camera = std::make_shared<sim::SimCamera>(camera, world().clock());
    return world().AddCaptureDevice(std::move(device));
  }

  // Paths array of count entries of length characters, filled with garbage first.
  struct PathArray {
    PathArray(int count, int length)
        : count(count), length(length), chars(static_cast<std::size_t>(count * length), u'#') {}
    std::u16string Entry(int index) const {
      return std::u16string(chars.data() + index * length);  // up to the terminator
    }
    bool EntryEmpty(int index) const {
      for (int i = 0; i < length; ++i) {
        if (chars[static_cast<std::size_t>(index * length + i)] != u'\0') {
          return false;
        }
      }
      return true;
    }
    int count;
    int length;
    std::vector<char16_t> chars;
  };

  bool List(PathArray& paths, int* counter) {
    return ListCaptureDevices(paths.chars.data(), paths.count, paths.length, counter,
                              access::MatchBoundChip);
  }

  bool AnyTrafficTo(int device) const {
    for (const sim::TrafficRecord& record : traffic()) {
      if (record.device == device) {
        return true;
      }
    }
    return false;
  }
};

TEST_F(CaptureDevicesTest, NoDeviceListsNothingAndBindsNothing) {
  PathArray paths(3, 16);
  int counter = 99;
  EXPECT_FALSE(List(paths, &counter));
  EXPECT_EQ(counter, 0);
  for (int i = 0; i < paths.count; ++i) {
    EXPECT_TRUE(paths.EntryEmpty(i));
  }

  EXPECT_FALSE(BindCaptureDevice(0, sim::kSimCameraPath, 256, access::MatchBoundChip));
  EXPECT_EQ(boundDevice.filter, nullptr);
  EXPECT_TRUE(CloseDevice(0));
  EXPECT_TRUE(world().SessionsBalanced());
}

TEST_F(CaptureDevicesTest, OnlyIdentifiedDevicesAreListedWithoutGaps) {
  AddForeign(u"first");
  AddIdentifiable(u"second");
  AddUnknownChip(u"third");
  PathArray paths(4, 32);
  int counter = 0;

  EXPECT_TRUE(List(paths, &counter));

  EXPECT_EQ(counter, 1);
  EXPECT_EQ(paths.Entry(0), u"second");
  for (int i = 1; i < paths.count; ++i) {
    EXPECT_TRUE(paths.EntryEmpty(i)) << i;
  }
  EXPECT_EQ(boundDevice.filter, nullptr);
  EXPECT_TRUE(world().SessionsBalanced());
  // The devices left out were asked too: they were examined, not skipped.
  EXPECT_TRUE(AnyTrafficTo(0));
  EXPECT_TRUE(AnyTrafficTo(2));
}

TEST_F(CaptureDevicesTest, NoMoreThanCountDevicesAreExamined) {
  for (const char16_t* path : {u"a", u"b", u"c", u"d"}) {
    AddIdentifiable(path);
  }
  PathArray paths(2, 8);
  int counter = 0;
  EXPECT_TRUE(List(paths, &counter));
  EXPECT_EQ(counter, 2);
  EXPECT_EQ(paths.Entry(0), u"a");
  EXPECT_EQ(paths.Entry(1), u"b");
  EXPECT_FALSE(AnyTrafficTo(2));
  EXPECT_FALSE(AnyTrafficTo(3));
}

TEST_F(CaptureDevicesTest, LongPathIsCutToLengthMinusOneAndTerminated) {
  AddIdentifiable(u"ABCDEFGHIJ");
  AddIdentifiable(u"KLMNOPQRST");
  PathArray paths(3, 8);
  int counter = 0;
  EXPECT_TRUE(List(paths, &counter));
  ASSERT_EQ(counter, 2);
  EXPECT_EQ(paths.Entry(0), u"ABCDEFG");
  EXPECT_EQ(paths.Entry(1), u"KLMNOPQ");
  EXPECT_TRUE(paths.EntryEmpty(2));
}

TEST_F(CaptureDevicesTest, DevicesWithoutBagPathOrFilterAreSkipped) {
  world().device(AddIdentifiable(u"no bag")).failPropertyBag = true;
  world().device(AddIdentifiable(u"no path")).failDevicePath = true;
  world().device(AddIdentifiable(u"no filter")).failFilter = true;
  AddIdentifiable(u"good");
  PathArray paths(4, 16);
  int counter = 0;
  EXPECT_TRUE(List(paths, &counter));
  EXPECT_EQ(counter, 1);
  EXPECT_EQ(paths.Entry(0), u"good");
  EXPECT_FALSE(AnyTrafficTo(0) || AnyTrafficTo(1) || AnyTrafficTo(2));
}

TEST_F(CaptureDevicesTest, UnusableArgumentsOrEnumeratorListNothing) {
  AddIdentifiable(u"a");
  PathArray paths(2, 8);
  int counter = 99;
  EXPECT_FALSE(ListCaptureDevices(paths.chars.data(), 0, 8, &counter, access::MatchBoundChip));
  EXPECT_EQ(counter, 0);
  EXPECT_FALSE(ListCaptureDevices(paths.chars.data(), 2, -1, &counter, access::MatchBoundChip));
  EXPECT_FALSE(ListCaptureDevices(nullptr, 2, 8, &counter, access::MatchBoundChip));
  EXPECT_EQ(paths.chars[0], u'#');  // nothing written for unusable sizes

  // A success code with a remark is not success for the enumerator either.
  for (HResult result : {hr::kFail, hr::kFalse}) {
    world().SetSystemEnumeratorResult(result);
    counter = 99;
    EXPECT_FALSE(List(paths, &counter));
    EXPECT_EQ(counter, 0);
    EXPECT_TRUE(paths.EntryEmpty(0));
    EXPECT_FALSE(BindCaptureDevice(0, u"a", 8, access::MatchBoundChip));
    EXPECT_TRUE(CloseDevice(0));
  }
  EXPECT_TRUE(traffic().empty());
  EXPECT_TRUE(world().SessionsBalanced());
}

TEST_F(CaptureDevicesTest, FailedNodeSearchFallsBackToAttemptNumberAsNode) {
  const int onNode1 = AddIdentifiable(u"node one");
  world().device(onNode1).topology = {{kOtherType, false}, {kOtherType, false}};
  world().device(onNode1).extensionNodeId = 1;
  const int onNode2 = AddIdentifiable(u"node two");
  world().device(onNode2).topology = {{kOtherType, false}};
  world().device(onNode2).extensionNodeId = 2;

  ASSERT_TRUE(BindCaptureDevice(0, u"node one", 256, access::MatchBoundChip));
  EXPECT_EQ(boundDevice.extensionNodeId, 1u);
  ASSERT_FALSE(traffic().empty());
  for (const sim::TrafficRecord& record : traffic()) {
    EXPECT_EQ(record.nodeId, 1u);
  }
  EXPECT_TRUE(CloseDevice(0));

  // Node 1 does not answer here: the first attempt fails, the second uses node 2.
  world().ClearTraffic();
  ASSERT_TRUE(BindCaptureDevice(0, u"node two", 256, access::MatchBoundChip));
  EXPECT_EQ(boundDevice.extensionNodeId, 2u);
  EXPECT_EQ(traffic().front().nodeId, 1u);
  EXPECT_EQ(traffic().back().nodeId, 2u);
  EXPECT_TRUE(CloseDevice(0));
  EXPECT_TRUE(world().SessionsBalanced());
}

TEST_F(CaptureDevicesTest, BindTakesTheFirstDeviceWithTheWantedPath) {
  AddIdentifiable(u"other");
  AddIdentifiable(u"same");
  AddIdentifiable(u"same");

  EXPECT_TRUE(BindCaptureDevice(0, u"same", 256, access::MatchBoundChip));
  EXPECT_NE(boundDevice.filter, nullptr);
  EXPECT_FALSE(AnyTrafficTo(0));
  EXPECT_TRUE(AnyTrafficTo(1));
  EXPECT_FALSE(AnyTrafficTo(2));
  EXPECT_EQ(world().OpenSessions(), 1);
  EXPECT_TRUE(CloseDevice(0));
  EXPECT_EQ(boundDevice.filter, nullptr);
  EXPECT_TRUE(world().SessionsBalanced());
}

TEST_F(CaptureDevicesTest, BindComparesOnlyTheGivenNumberOfCharacters) {
  AddIdentifiable(u"camera-long-suffix");
  EXPECT_FALSE(BindCaptureDevice(0, u"camera", 256, access::MatchBoundChip));
  EXPECT_TRUE(CloseDevice(0));
  EXPECT_TRUE(BindCaptureDevice(0, u"camera-other", 7, access::MatchBoundChip));
  EXPECT_TRUE(CloseDevice(0));
  EXPECT_TRUE(world().SessionsBalanced());
}

// A negative length is the huge count of an unsigned compare: the whole path must match, never
// no character at all.
TEST_F(CaptureDevicesTest, BindWithNegativeLengthComparesTheWholePath) {
  AddIdentifiable(u"first");
  AddIdentifiable(u"second");
  EXPECT_TRUE(BindCaptureDevice(0, u"second", -1, access::MatchBoundChip));
  EXPECT_FALSE(AnyTrafficTo(0));
  EXPECT_TRUE(AnyTrafficTo(1));
  EXPECT_TRUE(CloseDevice(0));
  EXPECT_FALSE(BindCaptureDevice(0, u"sec", -256, access::MatchBoundChip));
  EXPECT_EQ(boundDevice.filter, nullptr);
  EXPECT_TRUE(CloseDevice(0));
  EXPECT_TRUE(world().SessionsBalanced());
}

TEST_F(CaptureDevicesTest, BoundButUnidentifiedDeviceStaysBoundUntilClose) {
  AddForeign(u"foreign");
  EXPECT_FALSE(BindCaptureDevice(0, u"foreign", 256, access::MatchBoundChip));
  EXPECT_NE(boundDevice.filter, nullptr);
  EXPECT_EQ(world().OpenSessions(), 1);
  EXPECT_TRUE(CloseDevice(0));
  EXPECT_EQ(boundDevice.filter, nullptr);
  EXPECT_TRUE(world().SessionsBalanced());
}

TEST_F(CaptureDevicesTest, CloseWithoutFilterStillEndsTheBindSession) {
  AddIdentifiable(u"a");
  EXPECT_FALSE(BindCaptureDevice(0, u"b", 256, access::MatchBoundChip));
  EXPECT_EQ(boundDevice.filter, nullptr);
  EXPECT_TRUE(traffic().empty());
  EXPECT_EQ(world().OpenSessions(), 1);
  EXPECT_TRUE(CloseDevice(0));
  EXPECT_TRUE(world().SessionsBalanced());
}

TEST_F(CaptureDevicesTest, FailedRebindDoesNotPassOffTheEarlierFilter) {
  const int device = AddIdentifiable(u"a");
  ASSERT_TRUE(BindCaptureDevice(0, u"a", 256, access::MatchBoundChip));
  // The device can no longer be bound: the filter of the first bind must not stand in for it.
  world().device(device).failDevicePath = true;
  EXPECT_FALSE(BindCaptureDevice(0, u"a", 256, access::MatchBoundChip));
  EXPECT_EQ(boundDevice.filter, nullptr);
  EXPECT_TRUE(CloseDevice(0));
  EXPECT_TRUE(CloseDevice(0));
  EXPECT_TRUE(world().SessionsBalanced());
}

// A caller's identification that records what the transport had set up when it was asked.
struct IdentifyProbe {
  bool answer = false;
  int calls = 0;
  bool filterBound = false;
  std::uint32_t node = 0;
};
IdentifyProbe probe;

bool ProbeIdentify() {
  ++probe.calls;
  probe.filterBound = boundDevice.filter != nullptr;
  probe.node = boundDevice.extensionNodeId;
  return probe.answer;
}

TEST_F(CaptureDevicesTest, TheCallersIdentificationDecidesAndIsAskedWithTheUnitLocated) {
  const int device = AddIdentifiable(u"a");
  const std::uint32_t unitNode = world().device(device).extensionNodeId;

  probe = IdentifyProbe{};  // says no: asked once per attempt, the filter stays bound
  EXPECT_FALSE(BindCaptureDevice(0, u"a", 256, ProbeIdentify));
  EXPECT_EQ(probe.calls, 2);
  EXPECT_TRUE(probe.filterBound);
  EXPECT_EQ(probe.node, unitNode);
  EXPECT_NE(boundDevice.filter, nullptr);
  EXPECT_TRUE(CloseDevice(0));

  probe = IdentifyProbe{.answer = true};
  PathArray paths(2, 8);
  int counter = 0;
  EXPECT_TRUE(
      ListCaptureDevices(paths.chars.data(), paths.count, paths.length, &counter, ProbeIdentify));
  EXPECT_EQ(counter, 1);
  EXPECT_EQ(probe.calls, 1);
  for (const sim::TrafficRecord& record : traffic()) {
    EXPECT_EQ(record.selector, 0u);  // the node probes only: the transport read no chip record
  }

  // Without an identification no device counts.
  EXPECT_FALSE(
      ListCaptureDevices(paths.chars.data(), paths.count, paths.length, &counter, nullptr));
  EXPECT_EQ(counter, 0);
  EXPECT_FALSE(BindCaptureDevice(0, u"a", 256, nullptr));
  EXPECT_TRUE(CloseDevice(0));
  EXPECT_TRUE(world().SessionsBalanced());
}

TEST_F(CaptureDevicesTest, SessionsPairOnTheThreadThatBindsAndCloses) {
  AddIdentifiable(u"a");
  std::thread worker([] {
    PathArray paths(2, 8);
    int counter = 0;
    EXPECT_TRUE(ListCaptureDevices(paths.chars.data(), paths.count, paths.length, &counter,
                                   access::MatchBoundChip));
    EXPECT_TRUE(BindCaptureDevice(0, u"a", 256, access::MatchBoundChip));
    EXPECT_TRUE(CloseDevice(0));
  });
  worker.join();
  EXPECT_TRUE(world().SessionsBalanced());
}

TEST(Utf16TextTest, CompareAndCopyStopAtTerminatorAndBound) {
  EXPECT_EQ(CompareUtf16(u"abc", u"abc", 10), 0);
  EXPECT_EQ(CompareUtf16(u"abc", u"abd", 2), 0);
  EXPECT_LT(CompareUtf16(u"abc", u"abd", 3), 0);
  EXPECT_GT(CompareUtf16(u"abcd", u"abc", 10), 0);  // the terminator sorts first
  EXPECT_EQ(CompareUtf16(u"x", u"y", 0), 0);
  EXPECT_GT(CompareUtf16(u"\xFFFF", u"a", 1), 0);  // unsigned, as a 16-bit wchar_t
  // Characters after a shared terminator are never read.
  const char16_t a[] = {u'a', u'\0', u'x'};
  const char16_t b[] = {u'a', u'\0', u'y'};
  EXPECT_EQ(CompareUtf16(a, b, 3), 0);

  char16_t out[5] = {u'#', u'#', u'#', u'#', u'#'};
  CopyUtf16(out, 4, u"abcdef");
  EXPECT_EQ(std::u16string(out), u"abc");
  EXPECT_EQ(out[4], u'#');
  CopyUtf16(out, 1, u"abc");
  EXPECT_EQ(out[0], u'\0');
  out[0] = u'#';
  CopyUtf16(out, 0, u"abc");
  EXPECT_EQ(out[0], u'#');
}

}  // namespace
}  // namespace velkor::transport
