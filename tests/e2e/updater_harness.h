// Runs the whole updater as a process would: the headless dialog on the simulated world's
// virtual clock, a simulated camera, the firmware image as a module resource, and "Result.log"
// in a temporary current directory of its own.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "access/access_context.h"
#include "app/app_state.h"
#include "app/flash_window.h"
#include "app/velkor_app.h"
#include "platform/dialog_template.h"
#include "platform/ports.h"
#include "rigs/sim/sim_world.h"
#include "rigs/headless/headless_backend.h"
#include "tests/support/forwarding_device_tree.h"
#include "transport/bound_device.h"

namespace velkor::app {

// N8ER version 1: the update reads its configuration byte at 0xC034, and the protection
// restore reads the configuration block at 0xC003 (D) and 0xC034 (F).
constexpr int kChipRow = 17;
constexpr std::uint16_t kConfigByteAddress = 0xC034;
constexpr std::uint16_t kBlockDAddress = 0xC003;
// The simulated board drives WP# from pin 3 through an inverter (bit 7: the pin is in use).
constexpr std::uint8_t kBoardPinConfig = 0xB1;
constexpr std::uint8_t kProtectedStatus = 0x8C;  // SRWD, BP1, BP0
constexpr std::uint8_t kStatusBits = 0x9C;
constexpr std::uint16_t kAfterWriteRegister = 0x1073;
// The 17-byte "Pass" verdict of the placeholder image.
inline const std::string kPassBytes("Pass\r\nR06.00.01\r\n", 17);

// A register write of the flash's chip-erase opcode (0x60 or 0xC7) into data-out register 0x1082.
inline bool IsEraseCommand(const sim::TrafficRecord& record) {
  return record.selector == 1 && record.flags == 0x10000002 && record.sent.size() == 4 &&
         record.sent[0] == 0x82 && record.sent[1] == 0x10 &&
         (record.sent[2] == 0x60 || record.sent[2] == 0xC7);
}

// An image of noise whose configuration describes the board and asks for protection afterwards.
inline std::vector<std::uint8_t> MakeImage(unsigned seed) {
  std::vector<std::uint8_t> image(kImageSize);
  std::uint32_t state = seed * 2654435761u + 1;
  for (auto& byte : image) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  image[kConfigByteAddress] = kBoardPinConfig;
  image[kBlockDAddress] = 0x36;
  return image;
}

class FakeResources : public ModuleResources {
 public:
  bool Find(const char* type, int id, const std::uint8_t** data, std::size_t* size) override {
    if (!image || std::strcmp(type, "BYTE") != 0 || id != 131) {
      return false;
    }
    *data = image->data();
    *size = image->size();
    return true;
  }
  std::optional<std::vector<std::uint8_t>> image;
};

// The world's device tree, with the root failing from a chosen LocateRoot call on (each
// presence test locates the root once).
class RootFailingTree : public ForwardingDeviceTree {
 public:
  RootFailingTree(DeviceTree& inner, int failFromCall)
      : ForwardingDeviceTree(inner), failFrom_(failFromCall) {}
  int LocateRoot(DeviceNode* out) override {
    return ++calls_ >= failFrom_ ? cr::kNoSuchDevNode : ForwardingDeviceTree::LocateRoot(out);
  }

 private:
  int failFrom_;
  int calls_ = 0;
};

struct StatusText {
  std::string text;
  COLORREF color;
  bool operator==(const StatusText&) const = default;
};

inline void PrintTo(const StatusText& status, std::ostream* out) {
  *out << "\"" << status.text << "\" 0x" << std::hex << status.color;
}

class UpdaterRun : public ::testing::Test {
 protected:
  void SetUp() override {
    previousDirectory_ = std::filesystem::current_path();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("velkor-e2e-") + info->test_suite_name() + "-" + info->name();
    for (char& c : name) {
      c = c == '/' ? '-' : c;  // parameterised tests carry a slash in their names
    }
    // Unique per process too: two runs of the suite at once (a sanitizer build beside the plain
    // one) must not share, or delete, each other's verdict files.
    directory_ = std::filesystem::temp_directory_path() /
                 (name + "-" + std::to_string(std::random_device{}()));
    std::filesystem::remove_all(directory_);
    std::filesystem::create_directories(directory_);
    std::filesystem::current_path(directory_);
    resources_.image = image_;
  }

  void TearDown() override {
    Discard();
    std::filesystem::current_path(previousDirectory_);
    std::filesystem::remove_all(directory_);
  }

  // A write-protected camera of kChipRow holding an older image.
  static sim::SimCameraConfig Camera() {
    sim::SimCameraConfig config;
    config.chipRow = kChipRow;
    config.initialFlash = MakeImage(1);
    config.initialStatus = kProtectedStatus;
    config.transferBusyPolls = 1;  // every byte of the flash interface takes a done poll
    return config;
  }

  sim::SimWorld& Build(const sim::SimCameraConfig& config = Camera()) {
    Discard();
    world_ = sim::MakeSingleCameraWorld(config);
    world_->SetTrafficLogging(false);
    backend_ = std::make_unique<HeadlessBackend>(world_->clock());
    return *world_;
  }

  // Runs the program to its end; returns the exit code.
  int Run() {
    ResetProcessState();
    Ports ports;
    ports.captureSystem = world_.get();
    ports.deviceTree = tree_ ? tree_.get() : static_cast<DeviceTree*>(world_.get());
    ports.clock = clock_ != nullptr ? clock_ : &backend_->clock();
    ports.process = &backend_->process();
    ports.resources = &resources_;
    ports.cameraLock = cameraLock_;
    InstallPorts(ports);
    InstallDialogBackend(backend_.get());
    exitCode_ = backend_->RunProcess([] { return UpdaterMain(); });
    return exitCode_;
  }

  // Where the first (or, with `last`, the last) request that matches falls among the camera's
  // counted requests in a whole run of this configuration (1-based), for faults placed on that
  // very request.
  std::uint32_t RequestOrdinal(const sim::SimCameraConfig& config,
                               const std::function<bool(const sim::TrafficRecord&)>& match,
                               bool last = false) {
    Build(config);
    world_->SetTrafficLogging(true);
    Run();
    std::uint32_t ordinal = 0;
    std::uint32_t found = 0;
    for (const sim::TrafficRecord& record : world_->traffic()) {
      if (!Counted(record)) {
        continue;
      }
      ++ordinal;
      if (match(record)) {
        found = ordinal;
        if (!last) {
          break;
        }
      }
    }
    Discard();
    std::filesystem::remove("Result.log");
    return found;
  }

  bool Counted(const sim::TrafficRecord& record) const {
    return record.device == sim::kSimCameraDevice && (record.flags & 0x100) == 0 &&
           record.nodeId == world_->device(sim::kSimCameraDevice).extensionNodeId;
  }

  std::optional<std::string> ResultLog() const {
    std::ifstream file("Result.log", std::ios::binary);
    if (!file) {
      return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(file), {});
  }

  std::vector<StatusText> StatusTexts() const {
    std::vector<StatusText> texts;
    for (const HeadlessEvent& event : backend_->EventsOf(HeadlessEvent::Kind::kText)) {
      if (event.controlId == kStatusLabelId) {
        texts.push_back({event.text, event.color});
      }
    }
    return texts;
  }

  std::vector<int> Progress() const {
    std::vector<int> positions;
    for (const HeadlessEvent& event : backend_->EventsOf(HeadlessEvent::Kind::kProgress)) {
      positions.push_back(static_cast<int>(event.value));
    }
    return positions;
  }

  std::uint64_t FirstTextTime(const std::string& text) const {
    for (const HeadlessEvent& event : backend_->EventsOf(HeadlessEvent::Kind::kText)) {
      if (event.text == text) {
        return event.atMs;
      }
    }
    return UINT64_MAX;
  }

  sim::SimCamera& camera() { return *world_->device(sim::kSimCameraDevice).camera; }
  sim::SimRequestFaults& faults() { return world_->device(sim::kSimCameraDevice).faults; }

  bool FlashHolds(const std::vector<std::uint8_t>& image) {
    return std::equal(image.begin(), image.end(), camera().flash().content().begin());
  }

  // The camera as the run found it, for runs that closed it: nothing a real camera would have
  // mishandled, the flash interface handed back (off, flash deselected), the flash-access setup
  // registers back at their power-up values and WP# held by the pin.
  void ExpectCameraLeftAsFound() {
    const auto record = world_->Violations();
    EXPECT_TRUE(record.empty()) << sim::SimViolationsText(record);
    EXPECT_EQ(camera().Register(0x1080), 0);
    EXPECT_EQ(camera().Register(0x1091), 1);
    EXPECT_EQ(camera().Register(0x5F3), sim::SimCamera::kPowerUpReg5F3);
    EXPECT_EQ(camera().Register(0x5F5), sim::SimCamera::kPowerUpReg5F5);
    for (std::uint16_t reg = 0x5F8; reg <= 0x5FB; ++reg) {
      EXPECT_EQ(camera().Register(reg), sim::SimCamera::kPowerUpReg5F8To5FB) << reg;
    }
    EXPECT_TRUE(camera().WriteProtectActive());
  }

  bool AfterWriteStepRan() {
    for (const auto& write : camera().registerWrites()) {
      if (write.reg == kAfterWriteRegister && write.value == 0) {
        return true;
      }
    }
    return false;
  }

  // A fresh process: the application's globals and the access library's context as at start.
  static void ResetProcessState() {
    access::context = access::AccessContext{};
    transport::boundDevice = transport::BoundDevice{};
    ImageBuffer = nullptr;
    ImageLoaded = false;
    TargetIndex = -1;
    WorkerThread = nullptr;
    PresentNow = 0;
    PresentBefore = 0;
    AbsentTicks = 0;
    TheFlashWindow().Reset();
  }

  // Ends the run's objects in an order that leaves nothing pointing at a destroyed world.
  void Discard() {
    access::context = access::AccessContext{};
    transport::boundDevice = transport::BoundDevice{};
    InstallPorts(Ports{});
    backend_.reset();
    InstallDialogBackend(nullptr);
    clock_ = nullptr;
    tree_.reset();
    world_.reset();
  }

  const std::vector<std::uint8_t> image_ = MakeImage(2);
  FakeResources resources_;
  std::unique_ptr<sim::SimWorld> world_;
  std::unique_ptr<HeadlessBackend> backend_;
  std::unique_ptr<DeviceTree> tree_;
  Clock* clock_ = nullptr;  // the clock port of the run when set; it wraps backend_->clock()
  CameraLock* cameraLock_ = nullptr;  // the camera lock port of the run when set
  int exitCode_ = -1;

 private:
  std::filesystem::path previousDirectory_;
  std::filesystem::path directory_;
};

}  // namespace velkor::app
