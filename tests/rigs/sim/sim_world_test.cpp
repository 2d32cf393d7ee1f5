// Tests of the simulated world: enumeration, filters and topology, request routing and faults,
// sessions, and the device tree.
#include "rigs/sim/sim_world.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <thread>
#include <vector>
#include "vendor_requests.h"

namespace velkor::sim {
namespace {

using namespace std::string_literals;

KsPropertyNode Property(std::uint32_t selector, std::uint32_t flags, std::uint32_t node) {
  return KsPropertyNode{kVendorSet, selector, flags, node, 0};
}

SimCaptureDeviceConfig Device(const std::u16string& path) {
  SimCaptureDeviceConfig config;
  config.devicePath = path;
  return config;
}

// Walks the whole enumeration and returns the paths of the devices whose property bag, path
// and filter could all be obtained. Expects a session on the calling thread.
std::vector<std::u16string> BindablePaths(SimWorld& world) {
  std::vector<std::u16string> paths;
  std::unique_ptr<SystemDeviceEnumerator> system;
  if (world.CreateSystemDeviceEnumerator(&system) != hr::kOk)
    return paths;
  std::unique_ptr<CaptureDeviceEnumerator> devices;
  if (system->CreateVideoInputEnumerator(&devices) != hr::kOk)
    return paths;
  devices->Reset();
  std::unique_ptr<CaptureDevice> device;
  while (devices->Next(&device) == hr::kOk) {
    std::unique_ptr<PropertyBag> bag;
    std::u16string path;
    std::unique_ptr<CaptureFilter> filter;
    if (device->BindToStorage(&bag) == hr::kOk && bag->ReadDevicePath(&path) == hr::kOk &&
        device->BindToObject(&filter) == hr::kOk) {
      paths.push_back(path);
    }
  }
  return paths;
}

// Binds the filter of the device with the given path; null when there is none.
std::unique_ptr<CaptureFilter> BindFilter(SimWorld& world, const std::u16string& wanted) {
  std::unique_ptr<SystemDeviceEnumerator> system;
  std::unique_ptr<CaptureDeviceEnumerator> devices;
  std::unique_ptr<CaptureDevice> device;
  if (world.CreateSystemDeviceEnumerator(&system) != hr::kOk ||
      system->CreateVideoInputEnumerator(&devices) != hr::kOk) {
    return nullptr;
  }
  while (devices->Next(&device) == hr::kOk) {
    std::unique_ptr<PropertyBag> bag;
    std::u16string path;
    std::unique_ptr<CaptureFilter> filter;
    if (device->BindToStorage(&bag) == hr::kOk && bag->ReadDevicePath(&path) == hr::kOk &&
        path == wanted && device->BindToObject(&filter) == hr::kOk) {
      return filter;
    }
  }
  return nullptr;
}

class SessionScope {
 public:
  explicit SessionScope(SimWorld& world) : world_(world) { world_.BeginSession(); }
  ~SessionScope() { world_.EndSession(); }

 private:
  SimWorld& world_;
};

TEST(SimWorldEnumeration, DevicesComeInTheOrderAddedAndTheEndAnswersFalse) {
  SimWorld world;
  world.AddCaptureDevice(Device(u"first"));
  world.AddCaptureDevice(Device(u"second"));
  world.AddCaptureDevice(Device(u"third"));
  SessionScope session(world);

  EXPECT_EQ(BindablePaths(world), (std::vector<std::u16string>{u"first", u"second", u"third"}));

  std::unique_ptr<SystemDeviceEnumerator> system;
  ASSERT_EQ(world.CreateSystemDeviceEnumerator(&system), hr::kOk);
  std::unique_ptr<CaptureDeviceEnumerator> devices;
  ASSERT_EQ(system->CreateVideoInputEnumerator(&devices), hr::kOk);
  std::unique_ptr<CaptureDevice> device;
  for (int i = 0; i < 3; ++i)
    ASSERT_EQ(devices->Next(&device), hr::kOk);
  EXPECT_EQ(devices->Next(&device), hr::kFalse);
  ASSERT_EQ(devices->Reset(), hr::kOk);
  ASSERT_EQ(devices->Next(&device), hr::kOk);
  std::unique_ptr<PropertyBag> bag;
  std::u16string path;
  ASSERT_EQ(device->BindToStorage(&bag), hr::kOk);
  ASSERT_EQ(bag->ReadDevicePath(&path), hr::kOk);
  EXPECT_EQ(path, u"first");
}

TEST(SimWorldEnumeration, EmptyCategoryAnswersFalseWithoutAnEnumerator) {
  SimWorld world;
  SessionScope session(world);
  std::unique_ptr<SystemDeviceEnumerator> system;
  ASSERT_EQ(world.CreateSystemDeviceEnumerator(&system), hr::kOk);
  std::unique_ptr<CaptureDeviceEnumerator> devices;
  EXPECT_EQ(system->CreateVideoInputEnumerator(&devices), hr::kFalse);
  EXPECT_EQ(devices, nullptr);
}

TEST(SimWorldEnumeration, EachDeviceFailureSwitchSkipsOnlyItsDevice) {
  struct Case {
    const char* name;
    void (*apply)(SimCaptureDeviceConfig&);
  };
  const Case cases[] = {
      {"property bag", [](SimCaptureDeviceConfig& c) { c.failPropertyBag = true; }},
      {"device path", [](SimCaptureDeviceConfig& c) { c.failDevicePath = true; }},
      {"filter", [](SimCaptureDeviceConfig& c) { c.failFilter = true; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimWorld world;
    world.AddCaptureDevice(Device(u"a"));
    SimCaptureDeviceConfig broken = Device(u"b");
    c.apply(broken);
    world.AddCaptureDevice(broken);
    world.AddCaptureDevice(Device(u"c"));
    SessionScope session(world);
    EXPECT_EQ(BindablePaths(world), (std::vector<std::u16string>{u"a", u"c"}));
  }
}

TEST(SimWorldEnumeration, InterfaceSwitchesRefuseControlOrTopology) {
  SimWorld world;
  SimCaptureDeviceConfig config = Device(u"cam");
  config.failControlInterface = true;
  world.AddCaptureDevice(config);
  SessionScope session(world);
  std::unique_ptr<CaptureFilter> filter = BindFilter(world, u"cam");
  ASSERT_NE(filter, nullptr);
  std::unique_ptr<KsControl> control;
  std::unique_ptr<KsTopology> topology;
  EXPECT_EQ(filter->QueryControl(&control), hr::kNoInterface);
  EXPECT_EQ(control, nullptr);
  EXPECT_EQ(filter->QueryTopology(&topology), hr::kOk);

  world.device(0).failControlInterface = false;
  world.device(0).failTopologyInterface = true;
  topology.reset();
  EXPECT_EQ(filter->QueryControl(&control), hr::kOk);
  EXPECT_EQ(filter->QueryTopology(&topology), hr::kNoInterface);
  EXPECT_EQ(topology, nullptr);
}

TEST(SimWorldEnumeration, SystemEnumeratorNeedsASessionAndObeysItsSwitch) {
  SimWorld world;
  world.AddCaptureDevice(Device(u"a"));
  std::unique_ptr<SystemDeviceEnumerator> system;
  EXPECT_LT(world.CreateSystemDeviceEnumerator(&system), 0);  // no session on this thread
  EXPECT_EQ(system, nullptr);

  SessionScope session(world);
  world.SetSystemEnumeratorResult(hr::kFail);
  EXPECT_EQ(world.CreateSystemDeviceEnumerator(&system), hr::kFail);
  EXPECT_EQ(system, nullptr);

  // A success code other than kOk still hands out an object, which the caller must release.
  world.SetSystemEnumeratorResult(hr::kFalse);
  EXPECT_EQ(world.CreateSystemDeviceEnumerator(&system), hr::kFalse);
  EXPECT_NE(system, nullptr);
}

TEST(SimWorldTopology, DefaultTopologyHasTheExtensionUnitAnsweringTheProbeAtNodeTwo) {
  SimWorld world;
  world.AddCaptureDevice(Device(u"cam"));
  SessionScope session(world);
  std::unique_ptr<CaptureFilter> filter = BindFilter(world, u"cam");
  ASSERT_NE(filter, nullptr);
  std::unique_ptr<KsTopology> topology;
  ASSERT_EQ(filter->QueryTopology(&topology), hr::kOk);
  std::uint32_t count = 0;
  ASSERT_EQ(topology->NumNodes(&count), hr::kOk);
  ASSERT_EQ(count, 3u);

  std::vector<HResult> probes;
  for (std::uint32_t node = 0; node < count; ++node) {
    Guid type{};
    ASSERT_EQ(topology->NodeType(node, &type), hr::kOk);
    EXPECT_EQ(type == kNodeTypeDevSpecific, node == 2) << "node " << node;
    std::unique_ptr<KsControl> control;
    ASSERT_EQ(topology->CreateNodeControl(node, &control), hr::kOk);
    const KsPropertyNode probe = Property(0, kSetSupport, node);
    std::uint32_t returned = 0;
    probes.push_back(control->KsProperty(&probe, sizeof probe, nullptr, 0, &returned));
  }
  EXPECT_LT(probes[0], 0);
  EXPECT_LT(probes[1], 0);
  EXPECT_EQ(probes[2], hr::kOk);
  Guid type{};
  EXPECT_LT(topology->NodeType(3, &type), 0);

  // Every probe is logged, without payload, and none counts as a request to the unit.
  ASSERT_EQ(world.traffic().size(), 3u);
  EXPECT_EQ(world.traffic()[2].flags, kSetSupport);
  EXPECT_EQ(world.traffic()[2].nodeId, 2u);
  EXPECT_TRUE(world.traffic()[2].sent.empty());
  world.device(0).faults.failRequestNumber = 1;
  std::unique_ptr<KsControl> control;
  ASSERT_EQ(topology->CreateNodeControl(2, &control), hr::kOk);
  const KsPropertyNode probe = Property(0, kSetSupport, 2);
  EXPECT_EQ(control->KsProperty(&probe, sizeof probe, nullptr, 0, nullptr), hr::kOk);
}

TEST(SimWorldTopology, ProbeAnswersOnlyWhereConfiguredAndObjectsOutliveTheirFilter) {
  SimWorld world;
  SimCaptureDeviceConfig config = Device(u"cam");
  config.topology = {{kNodeTypeDevSpecific, false}, {kNodeTypeDevSpecific, true}};
  world.AddCaptureDevice(config);
  SessionScope session(world);
  std::unique_ptr<CaptureFilter> filter = BindFilter(world, u"cam");
  ASSERT_NE(filter, nullptr);
  std::unique_ptr<KsTopology> topology;
  ASSERT_EQ(filter->QueryTopology(&topology), hr::kOk);
  filter.reset();  // released before the objects obtained from it

  std::unique_ptr<KsControl> first;
  std::unique_ptr<KsControl> second;
  ASSERT_EQ(topology->CreateNodeControl(0, &first), hr::kOk);
  ASSERT_EQ(topology->CreateNodeControl(1, &second), hr::kOk);
  topology.reset();
  KsPropertyNode probe = Property(0, kSetSupport, 0);
  EXPECT_LT(first->KsProperty(&probe, sizeof probe, nullptr, 0, nullptr), 0);
  probe.nodeId = 1;
  EXPECT_LT(first->KsProperty(&probe, sizeof probe, nullptr, 0, nullptr), 0)
      << "a node's control must not answer for another node";
  EXPECT_EQ(second->KsProperty(&probe, sizeof probe, nullptr, 0, nullptr), hr::kOk);
  probe.set.data1 ^= 1;
  EXPECT_LT(second->KsProperty(&probe, sizeof probe, nullptr, 0, nullptr), 0);
}

class SimWorldRouting : public ::testing::Test {
 protected:
  void SetUp() override {
    world_ = MakeSingleCameraWorld(SimCameraConfig{});
    session_ = std::make_unique<SessionScope>(*world_);
    filter_ = BindFilter(*world_, kSimCameraPath);
    ASSERT_NE(filter_, nullptr);
    ASSERT_EQ(filter_->QueryControl(&control_), hr::kOk);
  }
  void TearDown() override {
    control_.reset();
    filter_.reset();
    session_.reset();
  }

  HResult Send(std::uint32_t selector, std::uint32_t flags, std::array<std::uint8_t, 4>* payload,
               std::uint32_t node = 2) {
    const KsPropertyNode property = Property(selector, flags, node);
    return control_->KsProperty(&property, sizeof property, payload->data(), 4, nullptr);
  }
  HResult WriteRegister(std::uint16_t reg, std::uint8_t value) {
    std::array<std::uint8_t, 4> payload{static_cast<std::uint8_t>(reg),
                                        static_cast<std::uint8_t>(reg >> 8), value, 0x00};
    return Send(1, kSet, &payload);
  }
  SimCamera& camera() { return *world_->device(kSimCameraDevice).camera; }

  std::unique_ptr<SimWorld> world_;
  std::unique_ptr<SessionScope> session_;
  std::unique_ptr<CaptureFilter> filter_;
  std::unique_ptr<KsControl> control_;
};

TEST_F(SimWorldRouting, TheSingleCameraWorldEnumeratesAWebcamBeforeTheCamera) {
  EXPECT_EQ(BindablePaths(*world_), (std::vector<std::u16string>{kSimWebcamPath, kSimCameraPath}));
  EXPECT_EQ(world_->device(0).camera, nullptr);
  EXPECT_TRUE(world_->CameraAttached());
}

TEST_F(SimWorldRouting, AWellFormedRequestReachesTheCameraAndIsLoggedWithItsReply) {
  std::array<std::uint8_t, 4> read{0x34, 0x12, 0x00, 0xFF};
  std::array<std::uint8_t, 4> reply{};
  ASSERT_EQ(WriteRegister(0x1234, 0x5A), hr::kOk);
  ASSERT_EQ(Send(1, kSet, &read), hr::kOk);
  ASSERT_EQ(Send(1, kGet, &reply), hr::kOk);
  EXPECT_EQ(reply[2], 0x5A);
  EXPECT_EQ(camera().Register(0x1234), 0x5A);

  const std::vector<TrafficRecord>& traffic = world_->traffic();
  ASSERT_EQ(traffic.size(), 3u);
  EXPECT_EQ(traffic[0].device, kSimCameraDevice);
  EXPECT_EQ(traffic[0].selector, 1u);
  EXPECT_EQ(traffic[0].flags, kSet);
  EXPECT_EQ(traffic[0].nodeId, 2u);
  EXPECT_EQ(traffic[0].propertyLength, 32u);
  EXPECT_EQ(traffic[0].sent, (std::vector<std::uint8_t>{0x34, 0x12, 0x5A, 0x00}));
  EXPECT_EQ(traffic[0].result, hr::kOk);
  EXPECT_EQ(traffic[2].sent, (std::vector<std::uint8_t>{0, 0, 0, 0}));
  EXPECT_EQ(traffic[2].replied[2], 0x5A);
}

// The returned length as the kernel-streaming proxy gives it: the reply's bytes for a GET,
// nothing for a SET or a support query, nothing for a failure.
TEST_F(SimWorldRouting, ReturnedLengthCountsOnlyTheBytesAGetReplies) {
  std::array<std::uint8_t, 4> payload{0x34, 0x12, 0x00, 0xFF};
  const auto returnedBy = [&](std::uint32_t flags, std::uint32_t node) {
    const KsPropertyNode property = Property(1, flags, node);
    std::uint32_t returned = 99;
    control_->KsProperty(&property, sizeof property, payload.data(), 4, &returned);
    return returned;
  };
  EXPECT_EQ(returnedBy(kSet, 2), 0u);
  EXPECT_EQ(returnedBy(kGet, 2), 4u);
  EXPECT_EQ(returnedBy(kGet, 1), 0u);  // no unit at node 1: the request failed

  std::unique_ptr<KsTopology> topology;
  ASSERT_EQ(filter_->QueryTopology(&topology), hr::kOk);
  std::unique_ptr<KsControl> node;
  ASSERT_EQ(topology->CreateNodeControl(2, &node), hr::kOk);
  const KsPropertyNode probe = Property(0, kSetSupport, 2);
  std::uint32_t returned = 99;
  ASSERT_EQ(node->KsProperty(&probe, sizeof probe, nullptr, 0, &returned), hr::kOk);
  EXPECT_EQ(returned, 0u);
}

TEST_F(SimWorldRouting, MalformedRequestsFailBeforeTheCameraAndAreLogged) {
  std::array<std::uint8_t, 4> payload{0x34, 0x12, 0x77, 0x00};
  KsPropertyNode property = Property(1, kSet, 2);
  // Wrong node, wrong set, short descriptor, Reserved set, topology flag missing.
  EXPECT_LT(Send(1, kSet, &payload, 1), 0);
  property.set.data4[7] ^= 0xFF;
  EXPECT_LT(control_->KsProperty(&property, sizeof property, payload.data(), 4, nullptr), 0);
  property = Property(1, kSet, 2);
  EXPECT_LT(control_->KsProperty(&property, 24, payload.data(), 4, nullptr), 0);
  property.reserved = 1;
  EXPECT_LT(control_->KsProperty(&property, sizeof property, payload.data(), 4, nullptr), 0);
  property = Property(1, 0x00000002, 2);
  EXPECT_LT(control_->KsProperty(&property, sizeof property, payload.data(), 4, nullptr), 0);

  EXPECT_NE(camera().Register(0x1234), 0x77);
  ASSERT_EQ(world_->traffic().size(), 5u);
  EXPECT_EQ(world_->traffic()[0].nodeId, 1u);
  EXPECT_EQ(world_->traffic()[2].propertyLength, 24u);
  for (const TrafficRecord& record : world_->traffic())
    EXPECT_LT(record.result, 0);

  // None of them counted: the first well-formed request is request number 1.
  world_->device(kSimCameraDevice).faults.failRequestNumber = 1;
  EXPECT_EQ(WriteRegister(0x1234, 0x77), hr::kFail);
}

TEST_F(SimWorldRouting, RequestFaultsFireOnTheirNumberOrSelectorWithTheirCode) {
  SimRequestFaults& faults = world_->device(kSimCameraDevice).faults;
  faults.failRequestNumber = 2;
  faults.failResult = hr::kDeviceFailure;
  EXPECT_EQ(WriteRegister(0x1234, 0x01), hr::kOk);
  EXPECT_EQ(WriteRegister(0x1234, 0x02), hr::kDeviceFailure);
  EXPECT_EQ(camera().Register(0x1234), 0x01) << "a failed request must not reach the camera";
  EXPECT_EQ(WriteRegister(0x1234, 0x03), hr::kOk);
  EXPECT_EQ(world_->traffic()[1].result, hr::kDeviceFailure);

  faults.failRequestNumber = 0;
  faults.failSelector = 1;
  faults.failResult = hr::kFalse;  // success, but not the full success a request needs
  EXPECT_EQ(WriteRegister(0x1234, 0x04), hr::kFalse);
  std::array<std::uint8_t, 12> other{};
  const KsPropertyNode query = Property(5, kGet, 2);
  EXPECT_EQ(control_->KsProperty(&query, sizeof query, other.data(), 12, nullptr), hr::kOk);
}

TEST_F(SimWorldRouting, ARunOfLostRequestsAndAGarbledReplyHitOnlyTheirNumbers) {
  SimRequestFaults& faults = world_->device(kSimCameraDevice).faults;
  faults.failRequestNumber = 2;
  faults.failRequestRun = 2;
  EXPECT_EQ(WriteRegister(0x1234, 0x01), hr::kOk);
  EXPECT_EQ(WriteRegister(0x1234, 0x02), hr::kFail);
  EXPECT_EQ(WriteRegister(0x1234, 0x03), hr::kFail);
  EXPECT_EQ(WriteRegister(0x1234, 0x04), hr::kOk);

  // Requests 5 and 6 latch and read the register; the reply of 6 arrives with its value inverted,
  // the camera itself unchanged. A SET with that number would be left alone.
  faults.corruptReplyNumber = 6;
  std::array<std::uint8_t, 4> read{0x34, 0x12, 0x00, 0xFF};
  std::array<std::uint8_t, 4> reply{};
  ASSERT_EQ(Send(1, kSet, &read), hr::kOk);
  ASSERT_EQ(Send(1, kGet, &reply), hr::kOk);
  EXPECT_EQ(reply[2], 0x04 ^ 0xFF);
  ASSERT_EQ(Send(1, kGet, &reply), hr::kOk);
  EXPECT_EQ(reply[2], 0x04);
  EXPECT_EQ(camera().Register(0x1234), 0x04);
}

TEST_F(SimWorldRouting, ScheduledFaultsCombineLossCarriedOutFailureGarbleAndUnplug) {
  using Kind = SimScheduledFault::Kind;
  SimRequestFaults& faults = world_->device(kSimCameraDevice).faults;
  faults.scheduled = {{Kind::kCarryOutThenFail, 1, 1, hr::kFail, 2, 0xFF},
                      {Kind::kLose, 2, 2, hr::kFalse, 2, 0xFF},
                      {Kind::kGarble, 6, 1, hr::kFail, 2, 0x10},
                      {Kind::kUnplugAfter, 7, 1, hr::kFail, 2, 0xFF}};
  EXPECT_EQ(WriteRegister(0x1234, 0x01), hr::kFail);
  EXPECT_EQ(camera().Register(0x1234), 0x01) << "carried out, though reported failed";
  EXPECT_EQ(WriteRegister(0x1234, 0x02), hr::kFalse);
  EXPECT_EQ(WriteRegister(0x1234, 0x03), hr::kFalse);
  EXPECT_EQ(camera().Register(0x1234), 0x01) << "lost requests never reach the camera";
  EXPECT_EQ(WriteRegister(0x1234, 0x04), hr::kOk);
  std::array<std::uint8_t, 4> read{0x34, 0x12, 0x00, 0xFF};
  std::array<std::uint8_t, 4> reply{};
  ASSERT_EQ(Send(1, kSet, &read), hr::kOk);
  ASSERT_EQ(Send(1, kGet, &reply), hr::kOk);
  EXPECT_EQ(reply[2], 0x04 ^ 0x10);
  EXPECT_TRUE(world_->CameraAttached());
  ASSERT_EQ(Send(1, kGet, &reply), hr::kOk);
  EXPECT_EQ(reply[2], 0x04);
  EXPECT_FALSE(world_->CameraAttached());
}

TEST_F(SimWorldRouting, ReplyCorruptionInvertsOneByteOfTheChosenRequestOnly) {
  ASSERT_EQ(WriteRegister(0x1234, 0x5A), hr::kOk);
  SimRequestFaults& faults = world_->device(kSimCameraDevice).faults;
  faults.corruptReplyNumber = 3;  // the GET after the latch
  faults.corruptReplyByte = 2;
  std::array<std::uint8_t, 4> latch{0x34, 0x12, 0x00, 0xFF};
  std::array<std::uint8_t, 4> reply{};
  ASSERT_EQ(Send(1, kSet, &latch), hr::kOk);
  ASSERT_EQ(Send(1, kGet, &reply), hr::kOk);
  EXPECT_EQ(reply[2], 0xA5);
  EXPECT_EQ(camera().Register(0x1234), 0x5A) << "the camera's own state stays right";
  ASSERT_EQ(Send(1, kGet, &reply), hr::kOk);
  EXPECT_EQ(reply[2], 0x5A) << "only that one request is hit";

  faults.corruptReplyNumber = 5;
  faults.corruptReplyByte = 4;  // beyond a register reply
  ASSERT_EQ(Send(1, kGet, &reply), hr::kOk);
  EXPECT_EQ(reply, (std::array<std::uint8_t, 4>{0, 0, 0x5A, 0}));
}

TEST_F(SimWorldRouting, ReplyHookSeesEveryAnswerAndDecidesWhatIsHandedBack) {
  std::vector<std::uint32_t> seen;
  world_->SetReplyHook([&seen](int device, const KsPropertyNode& property, std::uint8_t* data,
                               std::uint32_t length, HResult result) {
    seen.push_back(property.id);
    if (device == kSimCameraDevice && property.nodeId == 2 &&
        (property.flags & ks::kTypeGet) != 0 && length > 2) {
      data[2] = 0x77;
      return hr::kFalse;
    }
    return result;
  });
  ASSERT_EQ(WriteRegister(0x1234, 0x5A), hr::kOk);
  std::array<std::uint8_t, 4> latch{0x34, 0x12, 0x00, 0xFF};
  std::array<std::uint8_t, 4> reply{};
  ASSERT_EQ(Send(1, kSet, &latch), hr::kOk);
  EXPECT_EQ(Send(1, kGet, &reply), hr::kFalse);
  EXPECT_EQ(reply[2], 0x77);
  EXPECT_EQ(Send(1, kGet, &reply, 1), hr::kNotFound) << "the filter's own refusal is kept";
  EXPECT_EQ(seen, (std::vector<std::uint32_t>{1, 1, 1, 1}));
  EXPECT_EQ(world_->traffic().back().result, hr::kNotFound);
  EXPECT_EQ(world_->traffic()[2].result, hr::kFalse) << "the log shows what was handed back";
  EXPECT_EQ(camera().Register(0x1234), 0x5A);
}

TEST_F(SimWorldRouting, UnplugRemovesTheCameraFromEnumerationTreeAndRequests) {
  world_->device(kSimCameraDevice).faults.unplugAfterRequests = 2;
  EXPECT_EQ(WriteRegister(0x1234, 0x01), hr::kOk);
  EXPECT_EQ(WriteRegister(0x1234, 0x02), hr::kOk);
  EXPECT_EQ(WriteRegister(0x1234, 0x03), hr::kDeviceNotConnected);
  EXPECT_EQ(world_->traffic().back().result, hr::kDeviceNotConnected);

  EXPECT_FALSE(world_->CameraAttached());
  EXPECT_EQ(BindablePaths(*world_), (std::vector<std::u16string>{kSimWebcamPath}));
  char buffer[260];
  std::uint32_t length = sizeof buffer;
  EXPECT_EQ(world_->GetProperty(static_cast<DeviceNode>(world_->CameraTreeNode()), kPropertyClass,
                                buffer, &length),
            cr::kNoSuchDevNode);
}

TEST_F(SimWorldRouting, LoggingCanBeTurnedOffWithoutChangingTheAnswers) {
  world_->SetTrafficLogging(false);
  std::array<std::uint8_t, 4> payload{0x34, 0x12, 0x43, 0x00};
  EXPECT_EQ(WriteRegister(0x1234, 0x42), hr::kOk);
  EXPECT_LT(Send(1, kSet, &payload, 1), 0);
  EXPECT_TRUE(world_->traffic().empty());
  EXPECT_EQ(camera().Register(0x1234), 0x42);
}

TEST(SimWorldSessions, SessionsBalanceOnlyWhenEndedOnTheThreadThatBeganThem) {
  SimWorld world;
  EXPECT_EQ(world.BeginSession(), hr::kOk);
  EXPECT_EQ(world.BeginSession(), hr::kFalse);  // nested, as CoInitialize answers
  world.EndSession();
  EXPECT_EQ(world.OpenSessions(), 1);
  EXPECT_FALSE(world.SessionsBalanced());
  world.EndSession();
  EXPECT_TRUE(world.SessionsBalanced());

  world.BeginSession();
  std::thread other([&world] { world.EndSession(); });
  other.join();
  EXPECT_EQ(world.OpenSessions(), 1);
  EXPECT_FALSE(world.SessionsBalanced());
  world.EndSession();
  EXPECT_EQ(world.OpenSessions(), 0);
  EXPECT_FALSE(world.SessionsBalanced()) << "the end without a begin stays on record";
}

}  // namespace
}  // namespace velkor::sim
