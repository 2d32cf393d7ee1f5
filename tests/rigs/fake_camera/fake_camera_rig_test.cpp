// The fake camera rig: one presence schedule for the device tree and the capture devices, the
// kernel-streaming proxy's answers, and the two request records.
#include "rigs/fake_camera/fake_camera_rig.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "rigs/sim/sim_camera_state_file.h"

namespace velkor::fakecam {
namespace {

constexpr Guid kVendorSet = {
    0x5B1E07C4, 0x92D3, 0x4F6A, {0x8E, 0x21, 0x3C, 0x7D, 0x94, 0xA0, 0xB6, 0xF8}};
constexpr std::uint32_t kGet = ks::kTypeGet | ks::kTypeTopology;
constexpr std::uint32_t kSet = ks::kTypeSet | ks::kTypeTopology;
constexpr std::uint32_t kProbe = ks::kTypeSetSupport | ks::kTypeTopology;

class ManualClock : public Clock {
 public:
  void SleepMs(std::uint32_t milliseconds) override { now += milliseconds; }
  std::uint64_t NowMs() override { return now; }
  std::uint64_t now = 70000;
};

class FakeCameraRigTest : public testing::Test {
 protected:
  void Start(const std::string& configText) {
    const FakeCameraConfigResult parsed = ParseFakeCameraConfig(configText);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    rig_ = std::make_unique<FakeCameraRig>(parsed.config, clock_);
  }
  int CameraDevice() { return rig_->DeviceForPath(sim::kSimCameraPath); }

  // One request on the camera's filter control (or a node's own, node >= 0).
  HResult Send(int device, std::uint32_t id, std::uint32_t flags, std::vector<std::uint8_t>* data,
               std::uint32_t* returned = nullptr, std::uint32_t nodeId = 3, int node = -1,
               Guid set = kVendorSet) {
    KsPropertyNode property{set, id, flags, nodeId, 0};
    std::uint32_t ignored = 0;
    return rig_->KsProperty(device, node, &property, sizeof property,
                            data == nullptr ? nullptr : data->data(),
                            data == nullptr ? 0 : static_cast<std::uint32_t>(data->size()),
                            returned == nullptr ? &ignored : returned);
  }

  std::string State(const std::string& key) {
    FakeCameraRig::Reports reports;
    EXPECT_TRUE(rig_->CollectReports(&reports));
    std::istringstream lines(reports.state);
    std::string line;
    while (std::getline(lines, line)) {
      if (line.rfind(key + "=", 0) == 0) {
        return line.substr(key.size() + 1);
      }
    }
    return "<missing>";
  }

  bool CameraListed() {
    for (const CaptureDeviceEntry& entry : rig_->CaptureDevices()) {
      if (entry.path == sim::kSimCameraPath) {
        return entry.present;
      }
    }
    return false;
  }

  ManualClock clock_;
  std::unique_ptr<FakeCameraRig> rig_;
};

TEST_F(FakeCameraRigTest, CameraDueBeforeTheThirdTickAppearsInTreeAndDeviceListAtTheThirdWalk) {
  Start("--attach 3");
  DeviceNode root = 0;
  for (int walk = 1; walk <= 3; ++walk) {
    ASSERT_EQ(rig_->LocateRoot(&root), cr::kSuccess);
    EXPECT_EQ(CameraListed(), walk == 3) << "walk " << walk;
    clock_.now += 1000;  // the next poll tick
  }
  EXPECT_EQ(State("tree_walks"), "3");
  EXPECT_EQ(State("first_walk_with_camera"), "3");
}

TEST_F(FakeCameraRigTest, UnplugLeavesBothViewsAndFailsTheNextRequest) {
  Start("--unplug-after 2");
  std::vector<std::uint8_t> reply(12);
  EXPECT_EQ(Send(CameraDevice(), 5, kGet, &reply), hr::kOk);
  EXPECT_TRUE(rig_->Presence().at(0));
  EXPECT_EQ(Send(CameraDevice(), 5, kGet, &reply), hr::kOk);
  EXPECT_FALSE(rig_->Presence().at(0));
  EXPECT_FALSE(CameraListed());
  EXPECT_EQ(Send(CameraDevice(), 5, kGet, &reply), hr::kDeviceNotConnected);
  DeviceNode root = 0;
  rig_->LocateRoot(&root);
  EXPECT_EQ(State("camera_present"), "0");
  EXPECT_EQ(State("first_walk_with_camera"), "0");
}

TEST_F(FakeCameraRigTest, OtherMakersDeviceEnumeratesFirstAndItsUnitNeverSeesTheVendorSet) {
  Start("--other-device-first");
  const std::vector<CaptureDeviceEntry> devices = rig_->CaptureDevices();
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[0].path, std::u16string(sim::kSimWebcamPath));
  EXPECT_LT(devices[0].key, devices[1].key);  // registry keys enumerate in name order
  std::vector<std::uint8_t> payload = {0x00, 0xC0, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (std::uint32_t node : {1u, 2u, 3u}) {
    EXPECT_EQ(Send(0, 4, kSet, &payload, nullptr, node), hr::kNotFound);
  }
  EXPECT_EQ(Send(0, 0, kProbe, nullptr, nullptr, 2, 2), hr::kNotFound);
  EXPECT_EQ(State("other_device_requests"), "4");
  EXPECT_EQ(State("other_device_requests_served"), "0");
}

TEST_F(FakeCameraRigTest, AnswersCarryTheProxysCodesAndReturnedLengths) {
  Start("");
  const int camera = CameraDevice();
  std::vector<std::uint8_t> reply(12);
  std::uint32_t returned = 99;
  EXPECT_EQ(Send(camera, 5, kGet, &reply, &returned), hr::kOk);
  EXPECT_EQ(returned, 12u);  // a GET returns the control's bytes

  std::vector<std::uint8_t> write = {0xF3, 0x05, 0x42, 0x00};
  EXPECT_EQ(Send(camera, 1, kSet, &write, &returned), hr::kOk);
  EXPECT_EQ(returned, 0u);  // a SET returns nothing

  // A short buffer: the proxy tells the length the control needs.
  std::vector<std::uint8_t> shortBuffer(4);
  EXPECT_EQ(Send(camera, 5, kGet, &shortBuffer, &returned), hr::kInsufficientBuffer);
  EXPECT_EQ(returned, 12u);
  returned = 0;
  EXPECT_EQ(Send(camera, 5, kGet, nullptr, &returned), ksproxy::kMoreData);
  EXPECT_EQ(returned, 12u);

  EXPECT_EQ(Send(camera, 7, kGet, &reply, &returned), hr::kNotFound);  // no such control
  EXPECT_EQ(Send(camera, 5, kGet, &reply, &returned, 3, -1, kNodeTypeDevSpecific), hr::kNotFound);
  EXPECT_EQ(Send(camera, 5, kGet, &reply, &returned, 1), hr::kNotFound);  // other node

  // The set-support probe on each node's own control: only the camera's unit knows the set.
  EXPECT_EQ(Send(camera, 0, kProbe, nullptr, &returned, 2, 2), hr::kNotFound);
  EXPECT_EQ(Send(camera, 0, kProbe, nullptr, &returned, 3, 3), hr::kOk);
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(State("register_05f3"), "0x42");
}

TEST_F(FakeCameraRigTest, TopologyHasTheUnitAsASecondDeviceSpecificNode) {
  Start("");
  std::uint32_t count = 0;
  ASSERT_EQ(rig_->NumNodes(CameraDevice(), &count), hr::kOk);
  std::vector<std::uint32_t> devSpecific;
  for (std::uint32_t node = 0; node < count; ++node) {
    Guid type{};
    ASSERT_EQ(rig_->NodeType(CameraDevice(), node, &type), hr::kOk);
    if (type == kNodeTypeDevSpecific) {
      devSpecific.push_back(node);
    }
  }
  EXPECT_EQ(devSpecific, (std::vector<std::uint32_t>{2, 3}));
  EXPECT_EQ(State("extension_node"), "3");
  Guid type{};
  EXPECT_NE(rig_->NodeType(CameraDevice(), count, &type), hr::kOk);
  EXPECT_FALSE(rig_->HasNode(CameraDevice(), count));
  EXPECT_EQ(rig_->NumNodes(-1, &count), hr::kDeviceNotConnected);  // a filter never loaded
}

TEST_F(FakeCameraRigTest, RecordsAgreeOnSharedFieldsAndTheKsRecordKeepsTheRawDescriptor) {
  Start("");
  const int camera = CameraDevice();
  std::vector<std::uint8_t> read = {0xC5, 0x03, 0x00, 0xFF};
  Send(camera, 1, kSet, &read);
  std::vector<std::uint8_t> reply(4);
  Send(camera, 1, kGet, &reply);
  // A host that gets the descriptor wrong: Reserved set, and one 24 bytes long.
  KsPropertyNode wrong{kVendorSet, 1, kGet, 3, 7};
  rig_->KsProperty(camera, -1, &wrong, sizeof wrong, reply.data(), 4, nullptr);
  rig_->KsProperty(camera, -1, &wrong, 24, reply.data(), 4, nullptr);

  FakeCameraRig::Reports reports;
  ASSERT_TRUE(rig_->CollectReports(&reports));
  std::istringstream ks(reports.ks);
  std::istringstream sim(reports.sim);
  std::vector<std::string> ksLines;
  std::string ksLine;
  std::string simLine;
  while (std::getline(ks, ksLine)) {
    ASSERT_TRUE(std::getline(sim, simLine));
    // "set={...} reserved=N " precede the shared fields.
    const std::size_t shared = ksLine.find(' ', ksLine.find(' ') + 1) + 1;
    EXPECT_EQ(ksLine.substr(shared), simLine);
    ksLines.push_back(ksLine);
  }
  EXPECT_FALSE(std::getline(sim, simLine));
  ASSERT_EQ(ksLines.size(), 4u);
  EXPECT_EQ(ksLines[0],
            "set={5B1E07C4-92D3-4F6A-8E21-3C7D94A0B6F8} reserved=0 dev=0 id=1 "
            "flags=0x10000002 node=3 plen=32 len=4 sent=c50300ff reply=c50300ff");
  EXPECT_NE(ksLines[2].find("reserved=7 "), std::string::npos);
  EXPECT_NE(ksLines[3].find("plen=24"), std::string::npos);
  EXPECT_NE(ksLines[3].find("reserved=0 "), std::string::npos);  // beyond the 24 bytes sent
  EXPECT_EQ(reports.flash.size(), 65536u);
}

// --camera-state: a run starts from the file and leaves its own state in it for the next one.
class FakeCameraStateFileTest : public FakeCameraRigTest {
 protected:
  void SetUp() override {
    path_ = (std::filesystem::temp_directory_path() /
             ("fake-camera-state-" + std::to_string(::getpid()) + ".txt"))
                .string();
    std::filesystem::remove(path_);
  }
  void TearDown() override { std::filesystem::remove(path_); }

  // A state file of the default camera whose flash is erased but for one byte, left
  // unprotected, as a failed update might leave it.
  std::array<std::uint8_t, sim::SimFlash::kSize> WriteHalfUpdatedState() {
    sim::VirtualClock clock;
    sim::SimCamera camera(ParseFakeCameraConfig("").config.sim.camera, clock);
    sim::SimFlashState flash = camera.flash().SaveState();
    flash.cells.fill(0xFF);
    flash.cells[0x1234] = 0x42;
    flash.status = 0x00;
    camera.flash().LoadState(flash);
    std::string error;
    EXPECT_TRUE(sim::SaveCameraStateFile(path_, camera.SaveState(), &error)) << error;
    return flash.cells;
  }

  std::vector<std::uint8_t> Flash() {
    FakeCameraRig::Reports reports;
    EXPECT_TRUE(rig_->CollectReports(&reports));
    return reports.flash;
  }

  std::string path_;
};

TEST_F(FakeCameraStateFileTest, RunStartsFromTheFileAndTheNextStartsWhereItEnded) {
  const auto halfUpdated = WriteHalfUpdatedState();
  Start("--camera-state " + path_);
  const std::vector<std::uint8_t> expected(halfUpdated.begin(), halfUpdated.end());
  EXPECT_EQ(Flash(), expected);
  EXPECT_EQ(State("flash_status"), "0x00");
  std::vector<std::uint8_t> write = {0xF3, 0x05, 0x42, 0x00};
  ASSERT_EQ(Send(CameraDevice(), 1, kSet, &write), hr::kOk);
  std::string error;
  ASSERT_TRUE(rig_->SaveCameraState(&error)) << error;

  Start("--camera-state=" + path_);  // left attached: the register as the last run left it
  EXPECT_EQ(Flash(), expected);
  std::vector<std::uint8_t> read = {0xF3, 0x05, 0x00, 0xFF};
  ASSERT_EQ(Send(CameraDevice(), 1, kSet, &read), hr::kOk);
  std::vector<std::uint8_t> value(4);
  ASSERT_EQ(Send(CameraDevice(), 1, kGet, &value), hr::kOk);
  EXPECT_EQ(value[2], 0x42);

  Start("--camera-state " + path_ + " --replugged");  // re-plugged: registers at power-on
  EXPECT_EQ(Flash(), expected);
  ASSERT_EQ(Send(CameraDevice(), 1, kSet, &read), hr::kOk);
  ASSERT_EQ(Send(CameraDevice(), 1, kGet, &value), hr::kOk);
  EXPECT_NE(value[2], 0x42);
}

TEST_F(FakeCameraStateFileTest, StateOfAnotherChipKeepsTheCameraAwayAndTheFileAsItWas) {
  WriteHalfUpdatedState();  // a camera of row 18
  std::ifstream before(path_);
  const std::string text((std::istreambuf_iterator<char>(before)), {});
  Start("--chip-row 9 --camera-state " + path_);

  DeviceNode root{};
  rig_->LocateRoot(&root);
  EXPECT_FALSE(CameraListed());
  EXPECT_NE(State("camera_state_error"), "<missing>");
  std::string error;
  EXPECT_FALSE(rig_->SaveCameraState(&error));
  std::ifstream after(path_);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after)), {}), text);
}

}  // namespace
}  // namespace velkor::fakecam
