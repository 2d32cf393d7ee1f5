// The emulated camera's options (its own and the simulator's) and its simulated unit: request
// faults, a controller erase answered late, and the camera's state carried from one camera
// process to the next through the state file.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "rigs/usb_camera/emulated_camera.h"
#include "rigs/usb_camera/unit_state_file.h"

namespace velkor::usbcam {
namespace {

constexpr std::uint16_t kWpPinRegister = 0x1006;

EmulatedCameraOptions Parse(const std::vector<std::string>& args) {
  EmulatedCameraOptionsResult parsed = ParseEmulatedCameraOptions(args);
  EXPECT_TRUE(parsed.ok) << parsed.error;
  return parsed.options;
}

std::string Refusal(const std::vector<std::string>& args) {
  EmulatedCameraOptionsResult parsed = ParseEmulatedCameraOptions(args);
  EXPECT_FALSE(parsed.ok);
  return parsed.error;
}

// A selector-1 register write and read, as the host sends them.
UnitAnswer WriteRegister(SimulatedUnit& unit, std::uint16_t reg, std::uint8_t value) {
  std::uint8_t payload[4] = {static_cast<std::uint8_t>(reg), static_cast<std::uint8_t>(reg >> 8),
                             value, 0x00};
  return unit(1, true, payload, 4);
}

TEST(EmulatedCameraOptionsTest, SimulatorsCameraOptionsAndFaultsReachTheUnitWithTheRigsTimings) {
  const EmulatedCameraOptions options = Parse({"--chip-row",
                                               "9",
                                               "--wp-pin=5",
                                               "--wp-wiring",
                                               "direct",
                                               "--busy-polls",
                                               "3",
                                               "--fail-request",
                                               "40",
                                               "--unplug-after",
                                               "900",
                                               "--camera-state",
                                               "cam.state",
                                               "--replugged",
                                               "--port",
                                               "2",
                                               "--erase-answer-delay",
                                               "5500",
                                               "--stall-set",
                                               "7"});
  const sim::SimCameraConfig config = CameraConfigOf(options);

  EXPECT_EQ(config.chipRow, 9);
  EXPECT_EQ(config.wpPin, 5);
  EXPECT_FALSE(config.wpInverted);
  EXPECT_EQ(config.transferBusyPolls, 3u);
  EXPECT_EQ(options.sim.faults.failRequestNumber, 40u);
  EXPECT_EQ(options.sim.faults.unplugAfterRequests, 900u);
  EXPECT_EQ(options.sim.cameraStatePath, "cam.state");
  EXPECT_TRUE(options.sim.replugged);
  EXPECT_EQ(options.port, 2u);
  EXPECT_EQ(options.faults.stallSetCur, 7u);
  // The rig's flash timings, not the simulator program's, and an erase answered early so that
  // the rig can hold the answer back.
  EXPECT_EQ(config.chipEraseMs, 200u);
  EXPECT_EQ(config.statusWriteMs, 15u);
  EXPECT_FALSE(config.controllerAwaitsErase);
  EXPECT_TRUE(CameraConfigOf(Parse({})).controllerAwaitsErase);
  // Without options: the simulator's default camera, as before.
  EXPECT_EQ(CameraConfigOf(Parse({})).chipRow, 18);
  EXPECT_EQ(CameraConfigOf(Parse({})).initialFlash, RigCameraConfig(200, 15).initialFlash);
}

TEST(EmulatedCameraOptionsTest, RefusesSimulatorOptionsWithoutMeaningOnUsbAndBadValuesOfEither) {
  for (const char* foreign :
       {"--attach=3", "--probe-result", "--image", "--fast", "--diagnostics", "--fail-result"}) {
    EXPECT_NE(Refusal({foreign, "1"}).find("no option of the USB camera"), std::string::npos)
        << foreign;
  }
  EXPECT_NE(Refusal({"--chip-row", "19"}).find("--chip-row"), std::string::npos);
  EXPECT_NE(Refusal({"--replugged"}).find("--camera-state"), std::string::npos);
  EXPECT_NE(Refusal({"--port", "8"}).find("--port"), std::string::npos);
  EXPECT_NE(Refusal({"--no-such-option"}).find("--no-such-option"), std::string::npos);
}

TEST(SimulatedUnitTest, FailingRequestsStallBeforeTheCameraAndTheUnplugComesAfterTheCount) {
  sim::SimRequestFaults faults;
  faults.failRequestNumber = 2;
  faults.failRequestRun = 2;
  faults.unplugAfterRequests = 5;
  SimulatedUnit unit(RigCameraConfig(0, 0), faults);

  std::vector<UnitAnswer> answers;
  for (std::uint8_t value = 1; value <= 6; ++value) {
    answers.push_back(WriteRegister(unit, kWpPinRegister, value));
    if (value <= 5) {
      EXPECT_EQ(unit.camera().Register(kWpPinRegister), value == 2 || value == 3 ? 1 : value);
    }
  }

  EXPECT_EQ(answers,
            (std::vector<UnitAnswer>{UnitAnswer::kDone, UnitAnswer::kStall, UnitAnswer::kStall,
                                     UnitAnswer::kDone, UnitAnswer::kDone, UnitAnswer::kUnplug}));
  EXPECT_EQ(unit.requests(), 6u);

  sim::SimRequestFaults everySelectorTwo;
  everySelectorTwo.failSelector = 2;
  SimulatedUnit bySelector(RigCameraConfig(0, 0), everySelectorTwo);
  std::uint8_t bus[8] = {};
  EXPECT_EQ(bySelector(2, true, bus, 8), UnitAnswer::kStall);
  EXPECT_EQ(bySelector.camera().busSetCount(), 0u);
  EXPECT_EQ(WriteRegister(bySelector, kWpPinRegister, 1), UnitAnswer::kDone);
}

TEST(SimulatedUnitTest, BrokenWritePathStallsProgramsFromItsRequestOnWhileReadsGoOn) {
  sim::SimCameraConfig config = RigCameraConfig(0, 0);
  config.initialStatus = 0x00;
  config.initialFlash.assign(sim::SimFlash::kSize, 0xFF);
  config.programFailsFrom = 3;
  SimulatedUnit unit(config);
  auto program = [&unit](std::uint16_t address, std::uint8_t value) {
    std::uint8_t request[12] = {static_cast<std::uint8_t>(address),
                                static_cast<std::uint8_t>(address >> 8), 1, value};
    return unit(3, true, request, 12);
  };
  auto read = [&unit](std::uint16_t address) {
    std::uint8_t request[12] = {static_cast<std::uint8_t>(address),
                                static_cast<std::uint8_t>(address >> 8), 0x81};
    EXPECT_EQ(unit(3, true, request, 12), UnitAnswer::kDone);
    std::uint8_t reply[12] = {};
    EXPECT_EQ(unit(3, false, reply, 12), UnitAnswer::kDone);
    return reply[3];
  };

  EXPECT_EQ(program(0x10, 0x42), UnitAnswer::kDone);   // request 1
  EXPECT_EQ(read(0x10), 0x42);                         // requests 2 and 3
  EXPECT_EQ(program(0x11, 0x43), UnitAnswer::kStall);  // request 4
  EXPECT_EQ(read(0x11), 0xFF);
  EXPECT_EQ(WriteRegister(unit, kWpPinRegister, 1), UnitAnswer::kDone);
}

// A controller that erases the flash itself (row 9), write protection already off.
sim::SimCameraConfig ControllerEraseCamera() {
  sim::SimCameraConfig config = RigCameraConfig(1000, 0);
  config.chipRow = 9;
  config.initialStatus = 0x00;
  return config;
}

std::uint8_t ControllerErase[12] = {0x00, 0x00, 0xC8};

TEST(SimulatedUnitTest, LateEraseAnswerLeavesTheFlashErasingAndTheTimelyOneLeavesItDone) {
  sim::SimCameraConfig early = ControllerEraseCamera();
  early.controllerAwaitsErase = false;
  SimulatedUnit late(early, {}, 60);
  SimulatedUnit timely(ControllerEraseCamera());

  const auto start = std::chrono::steady_clock::now();
  std::uint8_t lateRequest[12];
  std::copy(std::begin(ControllerErase), std::end(ControllerErase), lateRequest);
  ASSERT_EQ(late(3, true, lateRequest, 12), UnitAnswer::kDone);
  const auto answeredAfter = std::chrono::steady_clock::now() - start;
  std::uint8_t timelyRequest[12];
  std::copy(std::begin(ControllerErase), std::end(ControllerErase), timelyRequest);
  ASSERT_EQ(timely(3, true, timelyRequest, 12), UnitAnswer::kDone);

  EXPECT_GE(answeredAfter, std::chrono::milliseconds(60));
  EXPECT_EQ(late.delayedEraseAnswers(), 1u);
  EXPECT_EQ(late.camera().controllerEraseRequests(), 1u);
  EXPECT_TRUE(late.camera().flash().Busy());  // 1,000 ms of erase, 60 ms of them gone
  EXPECT_FALSE(timely.camera().flash().Busy());
  EXPECT_EQ(timely.delayedEraseAnswers(), 0u);
  EXPECT_EQ(late.camera().flash().content()[0], 0xFF);
}

class UnitStateFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (std::filesystem::temp_directory_path() /
             ("unit-state-" + std::to_string(::getpid()) + ".txt"))
                .string();
    std::filesystem::remove(path_);
  }
  void TearDown() override { std::filesystem::remove(path_); }

  EmulatedCameraOptions WithState(std::vector<std::string> args) {
    args.insert(args.begin(), {"--camera-state", path_});
    return Parse(args);
  }

  std::string path_;
};

TEST_F(UnitStateFileTest, NextCameraProcessStartsWhereThePreviousLeftAttachedOrReplugged) {
  const EmulatedCameraOptions options = WithState({});
  std::string error;
  SimulatedUnit first(CameraConfigOf(options));
  ASSERT_TRUE(LoadUnitState(first, options, &error)) << error;  // no file yet: as configured
  const std::uint8_t powerOn = first.camera().Register(kWpPinRegister);
  first.camera().flash().LoadState([&] {
    sim::SimFlashState flash = first.camera().flash().SaveState();
    flash.cells.fill(0xFF);
    flash.cells[0x100] = 0x42;
    flash.status = 0x00;
    return flash;
  }());
  ASSERT_EQ(WriteRegister(first, kWpPinRegister, 0xA5), UnitAnswer::kDone);
  ASSERT_TRUE(SaveUnitState(first, options, &error)) << error;

  SimulatedUnit attached(CameraConfigOf(options));
  ASSERT_TRUE(LoadUnitState(attached, options, &error)) << error;
  const EmulatedCameraOptions replugOptions = WithState({"--replugged"});
  SimulatedUnit replugged(CameraConfigOf(replugOptions));
  ASSERT_TRUE(LoadUnitState(replugged, replugOptions, &error)) << error;

  for (const SimulatedUnit* unit : {&attached, &replugged}) {
    EXPECT_EQ(unit->camera().flash().content(), first.camera().flash().content());
    EXPECT_EQ(unit->camera().flash().Status(), 0x00);
    EXPECT_FALSE(unit->FlashChanged());  // compared with the loaded flash, not the old firmware
  }
  EXPECT_EQ(attached.camera().Register(kWpPinRegister), 0xA5);
  EXPECT_EQ(replugged.camera().Register(kWpPinRegister), powerOn);
}

TEST_F(UnitStateFileTest, StateOfAnotherChipOrAnUnreadableFileIsRefused) {
  const EmulatedCameraOptions row18 = WithState({});
  std::string error;
  SimulatedUnit first(CameraConfigOf(row18));
  ASSERT_TRUE(SaveUnitState(first, row18, &error)) << error;

  const EmulatedCameraOptions row9 = WithState({"--chip-row", "9"});
  SimulatedUnit other(CameraConfigOf(row9));
  EXPECT_FALSE(LoadUnitState(other, row9, &error));
  EXPECT_EQ(error.rfind("--camera-state: ", 0), 0u) << error;

  std::FILE* file = std::fopen(path_.c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fputs("not a state\n", file);
  std::fclose(file);
  SimulatedUnit same(CameraConfigOf(row18));
  EXPECT_FALSE(LoadUnitState(same, row18, &error));
}

}  // namespace
}  // namespace velkor::usbcam
