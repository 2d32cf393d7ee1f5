// Whole updates through the Linux adapters: the application on the headless dialog backend,
// the presence probe on the sysfs device tree, and every camera request through the uvcvideo
// adapter's conversions into the simulated camera. Each run ends in its verdict file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <linux/videodev2.h>

#include "access/access_context.h"
#include "app/app_state.h"
#include "app/flash_window.h"
#include "app/velkor_app.h"
#include "platform/linux/sysfs_device_tree.h"
#include "platform/linux/uvc_capture_system.h"
#include "platform/ports.h"
#include "rigs/sim/sim_camera.h"
#include "rigs/sim/virtual_clock.h"
#include "rigs/headless/headless_backend.h"
#include "tests/platform/linux/fake_sysfs.h"
#include "tests/platform/linux/fake_uvc_device_io.h"
#include "tests/support/forwarding_device_tree.h"
#include "tests/platform/linux/sim_uvc_bridge.h"
#include "tests/platform/linux/uvc_descriptor_builder.h"
#include "transport/bound_device.h"

namespace velkor::linux_platform {
namespace {

using testing::FakeSysfs;
using testing::FakeUvcDeviceIo;
using testing::SimUvcBridge;

// The simulated board: chip row 17 reads its configuration byte at 0xC034, whose value 0xB1
// says that pin 3 drives WP# through an inverter; 0xC003 is the configuration block's D byte.
constexpr int kChipRow = 17;
constexpr std::uint16_t kConfigByteAddress = 0xC034;
constexpr std::uint16_t kBlockDAddress = 0xC003;

// Noise with the board's configuration in place, so that a misplaced or lost byte shows.
std::vector<std::uint8_t> BoardImage(std::uint32_t seed) {
  std::vector<std::uint8_t> image(app::kImageSize);
  std::uint32_t state = seed * 2654435761u + 1;
  for (auto& byte : image) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  image[kConfigByteAddress] = 0xB1;
  image[kBlockDAddress] = 0x36;
  return image;
}

sim::SimCameraConfig ProtectedCameraWithOldImage() {
  sim::SimCameraConfig config;
  config.chipRow = kChipRow;
  config.initialFlash = BoardImage(1);
  config.initialStatus = 0x8C;   // SRWD, BP1, BP0
  config.transferBusyPolls = 1;  // every byte of the flash interface takes a done poll
  return config;
}

// The firmware image resource "BYTE" 131.
class ImageResource : public ModuleResources {
 public:
  ImageResource() : image_(BoardImage(2)) {}
  bool Find(const char* type, int id, const std::uint8_t** data, std::size_t* size) override {
    if (std::string(type) != "BYTE" || id != 131) {
      return false;
    }
    *data = image_.data();
    *size = image_.size();
    return true;
  }
  const std::vector<std::uint8_t>& image() const { return image_; }

 private:
  std::vector<std::uint8_t> image_;
};

// The sysfs tree while uvcvideo is still probing the camera: the driver's video nodes appear
// just before the tree is read for the n-th time.
class DriverBindsAtRead : public ForwardingDeviceTree {
 public:
  DriverBindsAtRead(DeviceTree& tree, int read, std::function<void()> bind)
      : ForwardingDeviceTree(tree), remaining_(read), bind_(std::move(bind)) {}
  int LocateRoot(DeviceNode* out) override {
    if (remaining_ > 0 && --remaining_ == 0) {
      bind_();
    }
    return ForwardingDeviceTree::LocateRoot(out);
  }

 private:
  int remaining_;
  std::function<void()> bind_;
};

class LinuxUpdateTest : public ::testing::Test {
 protected:
  LinuxUpdateTest()
      : camera_(std::make_shared<sim::SimCamera>(ProtectedCameraWithOldImage(), clock_)),
        bridge_(camera_, /*vendorUnit=*/4),
        system_(io_, UvcLocations{sysfs_.root(), "/fake-dev"}),
        tree_(sysfs_.root()) {
    sysfs_.AddDevice("usb1", "", "1d6b", "0002", "0601");
    io_.SetQueryHandler(
        [this](std::uint8_t unit, std::uint8_t selector, std::uint8_t query, std::uint16_t size,
               std::uint8_t* data) { return bridge_(unit, selector, query, size, data); });
  }

  void SetUp() override {
    workDir_ = std::filesystem::path(sysfs_.root()) / "cwd";
    std::filesystem::create_directories(workDir_);
    previousDir_ = std::filesystem::current_path();
    std::filesystem::current_path(workDir_);
    access::context = access::AccessContext{};
    transport::boundDevice = transport::BoundDevice{};
    app::TargetIndex = -1;
    app::WorkerThread = nullptr;
    app::PresentNow = 0;
    app::PresentBefore = 0;
    app::AbsentTicks = 0;
    app::TheFlashWindow().Reset();
  }

  void TearDown() override {
    std::filesystem::current_path(previousDir_);
    access::context = access::AccessContext{};
    transport::boundDevice = transport::BoundDevice{};
    InstallPorts(Ports{});
  }

  void PlugCamera() {
    PlugCameraInterfaces();
    BindDriver();
  }
  // The USB device and its interfaces, as the kernel adds them before any driver probes.
  void PlugCameraInterfaces() {
    sysfs_.AddDevice("1-2", "usb1", "5d1a", "c03e", "0100", testing::TwoExtensionUnitCamera());
    sysfs_.AddInterface("1-2:1.0", "1-2", "00", "0e", "01");
    sysfs_.AddInterface("1-2:1.1", "1-2", "01", "0e", "02");
  }
  // What uvcvideo adds at the end of its probe: the capture and metadata nodes.
  void BindDriver() {
    sysfs_.AddVideoNode("video0", "1-2:1.0");
    sysfs_.AddVideoNode("video1", "1-2:1.0");
    io_.AddNode("/fake-dev/video0", V4L2_CAP_VIDEO_CAPTURE);
    io_.AddNode("/fake-dev/video1", V4L2_CAP_META_CAPTURE);
  }

  // Runs the updater to its end; returns the exit code.
  int Run() {
    HeadlessBackend backend(clock_);
    Ports ports;
    ports.captureSystem = &system_;
    ports.deviceTree = treePort_ != nullptr ? treePort_ : &tree_;
    ports.clock = &backend.clock();
    ports.process = &backend.process();
    ports.resources = &image_;
    InstallPorts(ports);
    InstallDialogBackend(&backend);
    int code = backend.RunProcess([] { return app::UpdaterMain(); });
    EXPECT_TRUE(backend.ExitCalled());
    InstallDialogBackend(nullptr);
    return code;
  }

  // What every run that opened and closed the camera leaves: nothing a real camera would have
  // mishandled, the flash interface handed back, the flash-access setup back at power-up.
  void ExpectCameraLeftAsFound() {
    EXPECT_TRUE(camera_->violations().empty()) << sim::SimViolationsText(camera_->violations());
    EXPECT_EQ(camera_->Register(0x1080), 0);
    EXPECT_EQ(camera_->Register(0x1091), 1);
    EXPECT_EQ(camera_->Register(0x5F3), sim::SimCamera::kPowerUpReg5F3);
    EXPECT_EQ(camera_->Register(0x5F5), sim::SimCamera::kPowerUpReg5F5);
    for (std::uint16_t reg = 0x5F8; reg <= 0x5FB; ++reg) {
      EXPECT_EQ(camera_->Register(reg), sim::SimCamera::kPowerUpReg5F8To5FB) << reg;
    }
    EXPECT_TRUE(camera_->WriteProtectActive());
  }

  std::string ResultLog() const {
    std::ifstream in(workDir_ / "Result.log", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  sim::VirtualClock clock_;
  std::shared_ptr<sim::SimCamera> camera_;
  SimUvcBridge bridge_;
  FakeSysfs sysfs_;
  FakeUvcDeviceIo io_;
  UvcCaptureSystem system_;
  SysfsDeviceTree tree_;
  ImageResource image_;
  DeviceTree* treePort_ = nullptr;  // the tree the program sees, when not tree_ itself
  std::filesystem::path workDir_;
  std::filesystem::path previousDir_;
};

TEST_F(LinuxUpdateTest, AttachedCameraIsUpdatedAndPasses) {
  PlugCamera();

  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(ResultLog(), "Pass\r\nR06.00.01\r\n");
  const auto& flash = camera_->flash().content();
  EXPECT_TRUE(std::equal(flash.begin(), flash.end(), image_.image().begin()));
  // The new image's configuration block asks for protection again.
  EXPECT_EQ(camera_->flash().Status() & 0x9C, 0x8C);
  ExpectCameraLeftAsFound();
  EXPECT_EQ(io_.OpenFiles(), 0u);
}

TEST_F(LinuxUpdateTest, CameraStillProbingAtTheFirstTicksIsUpdatedOnceItsNodeAppears) {
  PlugCameraInterfaces();
  DriverBindsAtRead binding(tree_, 3, [this] { BindDriver(); });
  treePort_ = &binding;

  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(ResultLog(), "Pass\r\nR06.00.01\r\n");
  const auto& flash = camera_->flash().content();
  EXPECT_TRUE(std::equal(flash.begin(), flash.end(), image_.image().begin()));
}

TEST_F(LinuxUpdateTest, NoCameraEndsAsWrongDevice) {
  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(ResultLog(), "Wrong Device\r\n");
  EXPECT_TRUE(io_.queries.empty());
}

TEST_F(LinuxUpdateTest, UnitThatKnowsNoneOfTheSelectorsFails) {
  PlugCamera();
  bridge_.failSelector = 4;  // identification reads controller memory through selector 4
  bridge_.failErrno = ENOENT;

  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(ResultLog(), "Fail");
}

TEST_F(LinuxUpdateTest, StalledFlashWritesFail) {
  PlugCamera();
  bridge_.failSelector = 3;
  bridge_.failErrno = EIO;  // a stalled write, as uvcvideo reports it

  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(ResultLog(), "Fail");
  ExpectCameraLeftAsFound();
}

TEST_F(LinuxUpdateTest, UnplugDuringTheWriteFails) {
  PlugCamera();
  bridge_.unplugAfter = 3000;  // well into the 8,192 flash-write requests
  io_.recordQueries = false;

  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(ResultLog(), "Fail");
  EXPECT_GT(bridge_.queriesSeen, 3000u);
}

}  // namespace
}  // namespace velkor::linux_platform
