// The uvcvideo capture-system adapter over a fake sysfs tree and a fake kernel: enumeration,
// device paths, topology, the set-support probe and the mapping of requests and errors.
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <thread>

#include <linux/usb/video.h>
#include <linux/videodev2.h>

#include "platform/linux/uvc_capture_system.h"
#include "platform/linux/uvc_ks_control.h"
#include "tests/platform/linux/fake_sysfs.h"
#include "tests/platform/linux/fake_uvc_device_io.h"
#include "tests/platform/linux/uvc_descriptor_builder.h"

namespace velkor::linux_platform {
namespace {

using testing::FakeSysfs;
using testing::FakeUvcDeviceIo;
using testing::kOtherSet;
using testing::kVendorSet;

constexpr char kDevRoot[] = "/fake-dev";
constexpr std::u16string_view kCameraPath =
    u"\\\\?\\usb#vid_5d1a&pid_c03e&mi_00#1-2:1.0#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";

class UvcCaptureSystemTest : public ::testing::Test {
 protected:
  UvcCaptureSystemTest() : system_(io_, UvcLocations{sysfs_.root(), kDevRoot}) {}

  // The camera on port 1-2: video0 captures, video1 carries its metadata.
  void PlugCamera() {
    sysfs_.AddDevice("usb1", "", "1d6b", "0002", "0601");
    sysfs_.AddDevice("1-2", "usb1", "5d1a", "c03e", "0100", testing::TwoExtensionUnitCamera());
    sysfs_.AddInterface("1-2:1.0", "1-2", "00", "0e", "01");
    sysfs_.AddInterface("1-2:1.1", "1-2", "01", "0e", "02");
    AddNode("video0", "1-2:1.0", V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING);
    AddNode("video1", "1-2:1.0", V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING);
  }

  void AddNode(const std::string& node, const std::string& interfaceName, std::uint32_t caps) {
    sysfs_.AddVideoNode(node, interfaceName);
    io_.AddNode(std::string(kDevRoot) + "/" + node, caps);
  }

  std::vector<std::u16string> ListPaths() {
    std::vector<std::u16string> paths;
    std::unique_ptr<SystemDeviceEnumerator> system;
    EXPECT_EQ(system_.CreateSystemDeviceEnumerator(&system), hr::kOk);
    std::unique_ptr<CaptureDeviceEnumerator> devices;
    if (system->CreateVideoInputEnumerator(&devices) != hr::kOk) {
      return paths;
    }
    EXPECT_EQ(devices->Reset(), hr::kOk);
    std::unique_ptr<CaptureDevice> device;
    while (devices->Next(&device) == hr::kOk) {
      std::unique_ptr<PropertyBag> bag;
      std::u16string path;
      EXPECT_EQ(device->BindToStorage(&bag), hr::kOk);
      EXPECT_EQ(bag->ReadDevicePath(&path), hr::kOk);
      paths.push_back(path);
    }
    return paths;
  }

  // Binds the first listed device.
  std::unique_ptr<CaptureFilter> BindFirst() {
    std::unique_ptr<SystemDeviceEnumerator> system;
    std::unique_ptr<CaptureDeviceEnumerator> devices;
    std::unique_ptr<CaptureDevice> device;
    std::unique_ptr<CaptureFilter> filter;
    EXPECT_EQ(system_.CreateSystemDeviceEnumerator(&system), hr::kOk);
    EXPECT_EQ(system->CreateVideoInputEnumerator(&devices), hr::kOk);
    EXPECT_EQ(devices->Next(&device), hr::kOk);
    EXPECT_EQ(device->BindToObject(&filter), hr::kOk);
    return filter;
  }

  // A GET or SET on the filter's control, node-addressed as the transport sends it.
  HResult Request(CaptureFilter& filter, std::uint32_t node, std::uint32_t selector,
                  std::uint32_t flags, std::vector<std::uint8_t>& payload,
                  const Guid& set = kVendorSet) {
    std::unique_ptr<KsControl> control;
    EXPECT_EQ(filter.QueryControl(&control), hr::kOk);
    KsPropertyNode property{set, selector, flags, node, 0};
    std::uint32_t returned = 0;
    return control->KsProperty(&property, sizeof(property), payload.data(),
                               static_cast<std::uint32_t>(payload.size()), &returned);
  }

  FakeSysfs sysfs_;
  FakeUvcDeviceIo io_;
  UvcCaptureSystem system_;
};

constexpr std::uint32_t kGet = ks::kTypeTopology | ks::kTypeGet;
constexpr std::uint32_t kSet = ks::kTypeTopology | ks::kTypeSet;
constexpr std::uint32_t kProbe = ks::kTypeTopology | ks::kTypeSetSupport;

TEST_F(UvcCaptureSystemTest, CameraListsOnlyItsCaptureNodeWithThePortStablePath) {
  PlugCamera();

  std::vector<std::u16string> paths = ListPaths();

  ASSERT_EQ(paths.size(), 1u);
  EXPECT_EQ(paths[0], kCameraPath);
  EXPECT_NE(paths[0].find(u"#vid_5d1a&pid_c03e&mi_00#"), std::u16string::npos);
  EXPECT_EQ(io_.OpenFiles(), 0u);
}

TEST_F(UvcCaptureSystemTest, DevicesListInPortOrderWhateverTheirNodeNumbers) {
  PlugCamera();
  sysfs_.AddDevice("1-1", "usb1", "0c45", "6a10", "0100");
  sysfs_.AddInterface("1-1:1.0", "1-1", "00", "0e", "01");
  AddNode("video2", "1-1:1.0", V4L2_CAP_VIDEO_CAPTURE);
  // A capture node that is no USB device (a platform camera) cannot carry USB ids.
  std::filesystem::create_directories(sysfs_.root() + "/devices/soc/cam0");
  std::filesystem::create_directories(sysfs_.root() + "/class/video4linux/video3");
  std::filesystem::create_directory_symlink(sysfs_.root() + "/devices/soc/cam0",
                                            sysfs_.root() + "/class/video4linux/video3/device");
  io_.AddNode(std::string(kDevRoot) + "/video3", V4L2_CAP_VIDEO_CAPTURE);

  std::vector<std::u16string> paths = ListPaths();

  ASSERT_EQ(paths.size(), 2u);
  EXPECT_NE(paths[0].find(u"vid_0c45&pid_6a10&mi_00#1-1:1.0#"), std::u16string::npos);
  EXPECT_EQ(paths[1], kCameraPath);
}

TEST_F(UvcCaptureSystemTest, NoCameraOrUnopenableNodeIsAnEmptyCategory) {
  std::unique_ptr<SystemDeviceEnumerator> system;
  ASSERT_EQ(system_.CreateSystemDeviceEnumerator(&system), hr::kOk);
  std::unique_ptr<CaptureDeviceEnumerator> devices;
  EXPECT_EQ(system->CreateVideoInputEnumerator(&devices), hr::kFalse);
  EXPECT_EQ(devices, nullptr);

  PlugCamera();
  io_.FailOpen(std::string(kDevRoot) + "/video0", EACCES);
  EXPECT_EQ(system->CreateVideoInputEnumerator(&devices), hr::kFalse);
}

TEST_F(UvcCaptureSystemTest, TopologyHasOneNodePerEntityWithExtensionUnitsDeviceSpecific) {
  PlugCamera();
  std::unique_ptr<CaptureFilter> filter = BindFirst();
  std::unique_ptr<KsTopology> topology;
  ASSERT_EQ(filter->QueryTopology(&topology), hr::kOk);

  std::uint32_t count = 0;
  ASSERT_EQ(topology->NumNodes(&count), hr::kOk);
  ASSERT_EQ(count, 5u);
  std::vector<bool> devSpecific;
  for (std::uint32_t i = 0; i < count; ++i) {
    Guid type{};
    ASSERT_EQ(topology->NodeType(i, &type), hr::kOk);
    devSpecific.push_back(type == kNodeTypeDevSpecific);
  }
  EXPECT_EQ(devSpecific, (std::vector<bool>{false, false, true, true, false}));
  Guid type{};
  EXPECT_TRUE(hr::Failed(topology->NodeType(5, &type)));
}

TEST_F(UvcCaptureSystemTest, TopologyComesFromTheActiveConfigurationWrittenInDecimal) {
  sysfs_.AddDevice("1-3", "", "5d1a", "c03e", "0100",
                   testing::UvcDescriptorBuilder()
                       .Device(0x5D1A, 0xC03E, 0x0100)
                       .Configuration(1)
                       .Interface(0, 0, 0x0E, 0x01)
                       .ExtensionUnit(3, kOtherSet, 1, {0x1F})
                       .Configuration(10)
                       .Interface(0, 0, 0x0E, 0x01)
                       .CameraTerminal(1)
                       .ExtensionUnit(6, kVendorSet, 1, {0x1F})
                       .Build());
  sysfs_.WriteAttribute("1-3", "bConfigurationValue", "10\n");
  sysfs_.AddInterface("1-3:10.0", "1-3", "00", "0e", "01");
  AddNode("video0", "1-3:10.0", V4L2_CAP_VIDEO_CAPTURE);
  std::unique_ptr<CaptureFilter> filter = BindFirst();
  std::unique_ptr<KsTopology> topology;
  ASSERT_EQ(filter->QueryTopology(&topology), hr::kOk);

  std::uint32_t count = 0;
  ASSERT_EQ(topology->NumNodes(&count), hr::kOk);
  EXPECT_EQ(count, 2u);
  std::unique_ptr<KsControl> control;
  ASSERT_EQ(topology->CreateNodeControl(1, &control), hr::kOk);
  KsPropertyNode probe{kVendorSet, 0, kProbe, 1, 0};
  EXPECT_EQ(control->KsProperty(&probe, sizeof(probe), nullptr, 0, nullptr), hr::kOk);
}

TEST_F(UvcCaptureSystemTest, ProbeAnswersOnlyOnTheUnitOfTheVendorSetAndSendsNothing) {
  PlugCamera();
  std::unique_ptr<CaptureFilter> filter = BindFirst();
  std::unique_ptr<KsTopology> topology;
  ASSERT_EQ(filter->QueryTopology(&topology), hr::kOk);

  std::vector<bool> answers;
  for (std::uint32_t node = 0; node < 5; ++node) {
    std::unique_ptr<KsControl> control;
    ASSERT_EQ(topology->CreateNodeControl(node, &control), hr::kOk);
    KsPropertyNode probe{kVendorSet, 0, kProbe, node, 0};
    std::uint32_t returned = 0;
    answers.push_back(control->KsProperty(&probe, sizeof(probe), nullptr, 0, &returned) == hr::kOk);
  }

  EXPECT_EQ(answers, (std::vector<bool>{false, false, false, true, false}));
  EXPECT_TRUE(io_.queries.empty());
}

TEST_F(UvcCaptureSystemTest, SetAndGetBecomeQueriesOnTheNodesUnitWithTheirOwnSize) {
  PlugCamera();
  io_.SetQueryHandler(
      [](std::uint8_t, std::uint8_t, std::uint8_t query, std::uint16_t, std::uint8_t* data) {
        if (query == UVC_GET_CUR) {
          data[2] = 0x5A;
        }
        return 0;
      });
  std::unique_ptr<CaptureFilter> filter = BindFirst();

  std::vector<std::uint8_t> set = {0xC5, 0x03, 0x00, 0xFF};
  std::vector<std::uint8_t> get(4, 0);
  EXPECT_EQ(Request(*filter, 3, 1, kSet, set), hr::kOk);
  EXPECT_EQ(Request(*filter, 3, 1, kGet, get), hr::kOk);

  ASSERT_EQ(io_.queries.size(), 2u);
  EXPECT_EQ(io_.queries[0].unit, 4);  // node 3 is the unit with id 4
  EXPECT_EQ(io_.queries[0].selector, 1);
  EXPECT_EQ(io_.queries[0].query, UVC_SET_CUR);
  EXPECT_EQ(io_.queries[0].size, 4);
  EXPECT_EQ(io_.queries[0].sent, set);
  EXPECT_EQ(io_.queries[1].query, UVC_GET_CUR);
  EXPECT_EQ(get[2], 0x5A);
}

TEST_F(UvcCaptureSystemTest, RequestsThatNoVendorUnitCanTakeFailWithoutReachingTheDevice) {
  PlugCamera();
  io_.SetQueryHandler([](auto...) { return 0; });
  std::unique_ptr<CaptureFilter> filter = BindFirst();
  std::vector<std::uint8_t> payload(12, 0);

  EXPECT_TRUE(hr::Failed(Request(*filter, 2, 3, kSet, payload)));  // other vendor's unit
  EXPECT_TRUE(hr::Failed(Request(*filter, 0, 3, kSet, payload)));  // camera terminal
  EXPECT_TRUE(hr::Failed(Request(*filter, 9, 3, kSet, payload)));  // no such node
  EXPECT_TRUE(hr::Failed(Request(*filter, 3, 3, kSet, payload, kOtherSet)));
  EXPECT_TRUE(hr::Failed(Request(*filter, 3, 0, kSet, payload)));  // selector 0 is no control
  EXPECT_TRUE(hr::Failed(Request(*filter, 3, 3, ks::kTypeSet, payload)));  // not node-addressed

  EXPECT_TRUE(io_.queries.empty());
}

TEST_F(UvcCaptureSystemTest, EveryDriverErrorIsAFailureAndNeverASuccess) {
  PlugCamera();
  std::unique_ptr<CaptureFilter> filter = BindFirst();
  const std::pair<int, HResult> cases[] = {
      {ENOENT, hr::kNotFound},
      {ENOBUFS, hr::kInsufficientBuffer},
      {EPIPE, hr::kDeviceFailure},
      {EIO, hr::kDeviceFailure},
      {EBUSY, hr::kDeviceFailure},
      {ETIMEDOUT, hr::kTimeout},
      {ENODEV, hr::kDeviceNotConnected},
      {ERANGE, hr::kFail},
      {ESHUTDOWN, hr::kDeviceNotConnected},  // the request in flight when the camera is pulled
  };
  for (const auto& [error, expected] : cases) {
    io_.SetQueryHandler([error = error](auto...) { return error; });
    std::vector<std::uint8_t> payload(12, 0xEE);

    EXPECT_EQ(Request(*filter, 3, 3, kGet, payload), expected) << "errno " << error;
    EXPECT_EQ(payload, std::vector<std::uint8_t>(12, 0xEE)) << "errno " << error;
  }
}

TEST_F(UvcCaptureSystemTest, NodeStaysOpenWhileAControlOutlivesItsFilter) {
  PlugCamera();
  io_.SetQueryHandler([](auto...) { return 0; });
  std::unique_ptr<CaptureFilter> filter = BindFirst();
  std::unique_ptr<KsControl> control;
  ASSERT_EQ(filter->QueryControl(&control), hr::kOk);
  EXPECT_EQ(io_.OpenFiles(), 1u);

  filter.reset();
  std::vector<std::uint8_t> payload(4, 0);
  KsPropertyNode property{kVendorSet, 1, kSet, 3, 0};
  EXPECT_EQ(control->KsProperty(&property, sizeof(property), payload.data(), 4, nullptr), hr::kOk);
  control.reset();

  EXPECT_EQ(io_.OpenFiles(), 0u);
}

TEST_F(UvcCaptureSystemTest, SessionsAnswerAsComDoesPerThread) {
  EXPECT_EQ(system_.BeginSession(), hr::kOk);
  EXPECT_EQ(system_.BeginSession(), hr::kFalse);
  std::thread other([this] {
    EXPECT_EQ(system_.BeginSession(), hr::kOk);
    system_.EndSession();
  });
  other.join();
  system_.EndSession();
  system_.EndSession();
  system_.EndSession();  // one end too many is ignored, as CoUninitialize ignores it
  EXPECT_EQ(system_.BeginSession(), hr::kOk);
  system_.EndSession();
}

// The device list's friendly name is the node's "name" attribute (the driver's card name); a
// node without one has no name rather than an empty one. The serial number is the USB device's
// "serial" attribute, the same way.
TEST_F(UvcCaptureSystemTest, FriendlyNameAndSerialAreTheirSysfsAttributes) {
  PlugCamera();
  auto firstBag = [this] {
    std::unique_ptr<SystemDeviceEnumerator> system;
    std::unique_ptr<CaptureDeviceEnumerator> devices;
    std::unique_ptr<CaptureDevice> device;
    std::unique_ptr<PropertyBag> bag;
    EXPECT_EQ(system_.CreateSystemDeviceEnumerator(&system), hr::kOk);
    EXPECT_EQ(system->CreateVideoInputEnumerator(&devices), hr::kOk);
    EXPECT_EQ(devices->Next(&device), hr::kOk);
    EXPECT_EQ(device->BindToStorage(&bag), hr::kOk);
    return bag;
  };
  std::u16string name;
  std::u16string serial;
  EXPECT_EQ(firstBag()->ReadFriendlyName(&name), hr::kNotFound);
  EXPECT_EQ(firstBag()->ReadSerialNumber(&serial), hr::kNotFound);
  std::ofstream(sysfs_.root() + "/class/video4linux/video0/name") << "Velkor Camera  \n";
  std::ofstream(sysfs_.root() + "/class/video4linux/video0/device/../serial") << "SN-0042\n";
  EXPECT_EQ(firstBag()->ReadFriendlyName(&name), hr::kOk);
  EXPECT_EQ(name, u"Velkor Camera");
  EXPECT_EQ(firstBag()->ReadSerialNumber(&serial), hr::kOk);
  EXPECT_EQ(serial, u"SN-0042");
}

}  // namespace
}  // namespace velkor::linux_platform
