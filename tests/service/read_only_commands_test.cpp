// list, identify, read and verify against the simulated camera: what they report, their exit
// codes, and that the camera is left exactly as found.
#include <filesystem>

#include "tests/service/tool_harness.h"
#include "service/image_file.h"

namespace velkor::tool {
namespace {

constexpr std::uint16_t kSetupRegisters[] = {0x5F3, 0x5F5, 0x5F8, 0x5F9, 0x5FA, 0x5FB};

class ReadOnlyCommandsTest : public ToolTest {
 protected:
  // The flash's content and status, the setup registers and the flash interface as they were
  // before the command: nothing that persists, and nothing a later update would trip over.
  void ExpectCameraUntouched() {
    EXPECT_EQ(Flash(), OldFirmware());
    EXPECT_EQ(camera().flash().Status() & 0xFC, 0x8C);
    EXPECT_TRUE(camera().WriteProtectActive());
    EXPECT_EQ(camera().Register(0x5F3), sim::SimCamera::kPowerUpReg5F3);
    EXPECT_EQ(camera().Register(0x5F5), sim::SimCamera::kPowerUpReg5F5);
    for (std::uint16_t reg : {0x5F8, 0x5F9, 0x5FA, 0x5FB}) {
      EXPECT_EQ(camera().Register(static_cast<std::uint16_t>(reg)),
                sim::SimCamera::kPowerUpReg5F8To5FB);
    }
    EXPECT_EQ(camera().Register(0x1080), 0);
    EXPECT_EQ(camera().Register(0x1091), 1);
    EXPECT_FALSE(access::IsOpen(0));
    EXPECT_TRUE(world_->SessionsBalanced());
  }
};

TEST_F(ReadOnlyCommandsTest, ListShowsEveryDeviceAndTheChipOfOursOnly) {
  StartWorld();
  const ToolRun run = Run({"list", "--json"});
  ASSERT_EQ(run.code, 0) << run.err;
  const auto& devices = run.summary["devices"];
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_FALSE(devices[0]["ours"]);
  EXPECT_TRUE(devices[0]["chip"].is_null());
  EXPECT_TRUE(devices[0]["extension_unit"].is_null());
  EXPECT_TRUE(devices[1]["ours"]);
  EXPECT_TRUE(devices[1]["extension_unit"]);
  EXPECT_EQ(devices[1]["chip"]["row"], 18);
  EXPECT_EQ(devices[1]["chip"]["id"], "N8ER0");
  EXPECT_EQ(devices[1]["chip"]["flash_mode"], 0);  // row 18 answers the flash-mode query
  ExpectCameraUntouched();
}

TEST_F(ReadOnlyCommandsTest, ListWithoutAnyDeviceSaysSoAndSucceeds) {
  sim::SimFrontendOptions options = sim::DefaultSimFrontendOptions();
  options.attachAtMs = sim::kNeverAttached;
  StartWorld(options);
  world_->SetSystemEnumeratorResult(hr::kFalse);  // an empty video-input category
  const ToolRun run = Run({"list"});
  EXPECT_EQ(run.code, 0);
  EXPECT_NE(run.out.find("no capture devices found"), std::string::npos) << run.out;
}

TEST_F(ReadOnlyCommandsTest, IdentifyReportsChipAndProtectionAndPutsTheSetupBack) {
  StartWorld();
  const ToolRun run = Run({"identify", "--json"});
  ASSERT_EQ(run.code, 0) << run.err;
  const auto& protection = run.summary["device"]["protection"];
  EXPECT_EQ(protection["status_register"], 0x8C);
  EXPECT_TRUE(protection["srwd"]);
  EXPECT_EQ(protection["bp"], 3);
  EXPECT_EQ(protection["config_byte"], kPlaceholderConfigByte);
  EXPECT_EQ(protection["wp_pin"], 3);
  EXPECT_EQ(protection["wp_level_while_writing"], "low");
  ExpectCameraUntouched();
}

TEST_F(ReadOnlyCommandsTest, IdentifyReadsTheStatusOnAChipWithoutSetupRegistersToo) {
  sim::SimFrontendOptions options = sim::DefaultSimFrontendOptions();
  options.camera.chipRow = 5;
  options.camera.initialStatus = 0x00;
  StartWorld(options);
  const ToolRun run = Run({"identify", "--json"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.summary["device"]["chip"]["row"], 5);
  EXPECT_EQ(run.summary["device"]["protection"]["status_register"], 0);
  EXPECT_FALSE(run.summary["device"]["protection"]["srwd"]);
  EXPECT_EQ(camera().Register(0x5F3), sim::SimCamera::kPowerUpReg5F3);  // never touched
}

TEST_F(ReadOnlyCommandsTest, IdentifyChoosesByDeviceAndTellsNoCameraFromAFailingOne) {
  StartWorld();
  EXPECT_EQ(Run({"identify", "--device", "vid_5d1a&pid_c03e"}).code, 0);
  EXPECT_EQ(Run({"identify", "--device", "no-such-device"}).code, 3);
  // Both devices' paths contain "usb#vid_": a part that names no single device is refused.
  const ToolRun ambiguous = Run({"identify", "--device", "usb#vid_"});
  EXPECT_EQ(ambiguous.code, 3);
  EXPECT_NE(ambiguous.err.find("more than one"), std::string::npos);
  // The other make's webcam can be chosen, but it is no camera of ours to open.
  EXPECT_EQ(Run({"identify", "--device", "vid_0c45"}).code, 4);

  faults().failSelector = 4;  // controller-memory reads: the chip cannot be identified
  EXPECT_EQ(Run({"identify"}).code, 4);
}

TEST_F(ReadOnlyCommandsTest, NoCameraAttachedIsExitCodeThreeForEveryCameraCommand) {
  sim::SimFrontendOptions options = sim::DefaultSimFrontendOptions();
  options.attachAtMs = sim::kNeverAttached;
  StartWorld(options);
  const std::string image = WriteFile("image.bin", MakePlaceholderImage());
  EXPECT_EQ(Run({"identify"}).code, 3);
  EXPECT_EQ(Run({"read", Path("out.bin")}).code, 3);
  EXPECT_EQ(Run({"verify", image}).code, 3);
  EXPECT_EQ(Run({"write", image}).code, 3);
  EXPECT_FALSE(std::filesystem::exists(Path("out.bin")));
}

TEST_F(ReadOnlyCommandsTest, ReadSavesTheWholeFlashAndReplacesAnOlderFile) {
  StartWorld();
  const std::string target = WriteFile("dump.bin", {1, 2, 3});
  const ToolRun run = Run({"read", target});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(ReadFile(target), OldFirmware());
  EXPECT_FALSE(std::filesystem::exists(TemporaryNameFor(target)));
  ExpectCameraUntouched();
}

TEST_F(ReadOnlyCommandsTest, ReadCutShortByAnUnplugLeavesNoFileUnderEitherName) {
  StartWorld();
  faults().unplugAfterRequests = 3000;  // in the middle of the 8,193 read requests
  const std::string target = Path("dump.bin");
  const ToolRun run = Run({"read", target});
  EXPECT_EQ(run.code, 4);
  EXPECT_FALSE(std::filesystem::exists(target));
  EXPECT_FALSE(std::filesystem::exists(TemporaryNameFor(target)));
}

TEST_F(ReadOnlyCommandsTest, ReadIntoAFolderThatDoesNotExistIsAFileError) {
  StartWorld();
  EXPECT_EQ(Run({"read", Path("missing/dump.bin")}).code, 2);
}

TEST_F(ReadOnlyCommandsTest, VerifyGivesTheFirstDifferingAddressAndTheCount) {
  StartWorld();
  std::vector<std::uint8_t> image = OldFirmware();
  EXPECT_EQ(Run({"verify", WriteFile("same.bin", image)}).code, 0);

  image[0x1234] ^= 0x01;
  image[0xFFFF] ^= 0x80;
  const ToolRun run = Run({"verify", WriteFile("differs.bin", image), "--json"});
  EXPECT_EQ(run.code, 1);
  EXPECT_FALSE(run.summary["equal"]);
  EXPECT_EQ(run.summary["first_difference"], 0x1234);
  EXPECT_EQ(run.summary["differing_bytes"], 2);
  ExpectCameraUntouched();
}

TEST_F(ReadOnlyCommandsTest, VerifyRefusesAnImageOfTheWrongSizeBeforeAskingTheCamera) {
  StartWorld();
  world_->SetTrafficLogging(true);
  std::vector<std::uint8_t> image = OldFirmware();
  image.push_back(0);
  EXPECT_EQ(Run({"verify", WriteFile("long.bin", image)}).code, 2);
  image.resize(65535);
  EXPECT_EQ(Run({"verify", WriteFile("short.bin", image)}).code, 2);
  EXPECT_EQ(Run({"verify", Path("absent.bin")}).code, 2);
  EXPECT_EQ(Run({"verify", scratch_.string()}).code, 2);  // a folder
  EXPECT_TRUE(world_->traffic().empty());
}

TEST_F(ReadOnlyCommandsTest, LogTracesStepsAndWithTraceRequestsEveryRequest) {
  StartWorld();
  world_->SetTrafficLogging(true);
  ASSERT_EQ(Run({"identify", "--log", Path("steps.log")}).code, 0);
  ASSERT_EQ(Run({"identify", "--log", Path("trace.log"), "--trace-requests"}).code, 0);
  const auto countLines = [](const std::string& path, const std::string& word) {
    std::ifstream in(path);
    std::size_t count = 0;
    for (std::string line; std::getline(in, line);) {
      count += line.find(word) != std::string::npos ? 1 : 0;
    }
    return count;
  };
  EXPECT_GT(countLines(Path("steps.log"), "step open"), 0u);
  EXPECT_EQ(countLines(Path("steps.log"), "request "), 0u);
  // The second run's requests, each one traced (the set-support probes included).
  const std::size_t secondRun = world_->traffic().size() / 2;
  EXPECT_EQ(countLines(Path("trace.log"), "request "), secondRun);
}

}  // namespace
}  // namespace velkor::tool
