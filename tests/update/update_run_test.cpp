// The update flow end to end over the access library on every chip row: the flash starts
// write-protected (status SRWD + BP, WP# held by the board's pin) and must end up holding the
// new image, protected again as the new image's configuration block says.
#include <algorithm>
#include <cstring>
#include <functional>
#include <random>

#include "platform/ports.h"
#include "rigs/sim/sim_controller_chip_rows.h"
#include "rigs/sim/sim_flash.h"
#include "tests/access/sim_access_fixture.h"
#include "tests/update/sim_camera_target.h"
#include "update/update_flow.h"

namespace velkor::update {
namespace {

using access::context;

constexpr std::uint32_t kImageSize = 0x10000;
constexpr std::uint8_t kProtectedStatus = 0x8C;
constexpr std::uint8_t kStatusBits = 0x9C;  // SRWD and BP0..BP2
// The simulated board drives WP# from pin 3 through an inverter: pin low releases it.
constexpr std::uint8_t kBoardPinWiring = 0x31;
// Page of the configuration block that row 18's controller reports (register 0x0608).
constexpr std::uint8_t kRow18BlockPage = 0x40;

// Where the update reads the configuration byte, by the code and version of the simulated chip
// (never from the library's table, so that a wrong entry there shows as a failure).
std::uint16_t ConfigByteAddress(int row) {
  const sim::SimChipRow& r = sim::kSimChipRows[row];
  const bool v1 = r.version == 1;
  if (v1 && (std::memcmp(r.code, "N8ER", 4) == 0 || std::memcmp(r.code, "C4SR", 4) == 0 ||
             std::memcmp(r.code, "W7HR", 4) == 0)) {
    return 0xC034;
  }
  if (r.version == 2 && std::memcmp(r.code, "V6CR", 4) == 0) {
    return 0x000F;
  }
  return 0x8034;
}

// The chips whose firmware keeps its configuration block at another base, and the one that
// reports the block's page through its flash mode query.
bool AltConfigBase(int row) {
  return row == 8 || row >= 15;
}
constexpr int kFlashModeQueryRow = 18;

// Where the restore reads the configuration block's bytes D and F on this row.
std::pair<std::uint16_t, std::uint16_t> ConfigBlock(int row) {
  if (!AltConfigBase(row)) {
    return {0x8003, 0x8034};
  }
  if (row == kFlashModeQueryRow) {
    return {kRow18BlockPage * 256 + 0x03, kRow18BlockPage * 256 + 0x34};
  }
  return row == 8 ? std::pair<std::uint16_t, std::uint16_t>{0x5803, 0x5834}
                  : std::pair<std::uint16_t, std::uint16_t>{0xC003, 0xC034};
}

// A firmware image of noise whose configuration byte describes the board's pin and whose
// block asks (D 0x36, F bit 7 set) or does not ask (D 0x34) for protection afterwards.
std::vector<std::uint8_t> Image(int row, bool asksForProtection, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> image(kImageSize);
  for (auto& b : image) {
    b = static_cast<std::uint8_t>(random());
  }
  const auto [d, f] = ConfigBlock(row);
  image[ConfigByteAddress(row)] = kBoardPinWiring | 0x80;
  image[d] = asksForProtection ? 0x36 : 0x34;
  image[f] = kBoardPinWiring | 0x80;
  return image;
}

constexpr std::uint16_t kAfterWriteRegister = 0x1073;

struct RunOutcome {
  bool opened = false;
  bool erased = false;
  bool written = false;
  bool readBackEqual = false;
};

// The steps' outcomes as the flow reports them, and a hook just before the erase.
class StepLog : public UpdateObserver {
 public:
  explicit StepLog(const std::function<void()>& beforeErase) : beforeErase_(beforeErase) {}
  void StepStarted(Step step) override {
    if (step == Step::kErase && beforeErase_) {
      beforeErase_();
    }
  }
  void StepFinished(Step step, bool ok, const UpdateRecord&) override {
    outcome.opened = outcome.opened || (step == Step::kOpen && ok);
    outcome.erased = outcome.erased || (step == Step::kErase && ok);
    outcome.written = outcome.written || (step == Step::kWrite && ok);
    outcome.readBackEqual = outcome.readBackEqual || (step == Step::kVerify && ok);
  }
  RunOutcome outcome;

 private:
  const std::function<void()>& beforeErase_;
};

class UpdateRunTest : public access::SimAccessTest {
 protected:
  sim::SimCameraConfig WriteProtectedCamera(int row, bool oldImageProtects = true) {
    sim::SimCameraConfig config;
    config.chipRow = row;
    config.initialFlash = Image(row, oldImageProtects, 1000 + static_cast<unsigned>(row));
    config.initialStatus = kProtectedStatus;
    config.transferBusyPolls = 1;  // every byte of the flash interface takes a done poll
    return config;
  }

  void StartCamera(const sim::SimCameraConfig& config) {
    StartWorld(config);
    camera().SetRegister(0x0608, kRow18BlockPage);
  }

  // The flow as the updater runs it, without the settle. beforeErase runs between the release
  // and the erase.
  RunOutcome Run(const std::vector<std::uint8_t>& image,
                 const std::function<void()>& beforeErase = {}) {
    const SimCameraTarget cameraTarget(image);
    UpdateOptions options;
    options.settleMs = 0;
    StepLog log(beforeErase);
    RunUpdate(cameraTarget.target(), options, *CurrentPorts().clock, log);
    return log.outcome;
  }

  // Whether the after-write step cleared its register.
  bool AfterWriteStepRan() {
    const auto& writes = camera().registerWrites();
    return std::any_of(writes.begin(), writes.end(), [](const auto& write) {
      return write.reg == kAfterWriteRegister && write.value == 0;
    });
  }

  bool FlashHolds(const std::vector<std::uint8_t>& image) {
    return std::equal(image.begin(), image.end(), camera().flash().content().begin());
  }

  // The controller is left as it was found: flash interface handed back, setup registers
  // restored, pin driving WP# low; and nothing on the way would have upset a real camera.
  void ExpectControllerRestored(int row) {
    ExpectNoViolations();
    ExpectFlashInterfaceReleased();
    if (sim::kSimChipRows[row].flashAccessSetup) {
      EXPECT_EQ(camera().Register(0x5F3), sim::SimCamera::kPowerUpReg5F3);
      EXPECT_EQ(camera().Register(0x5F5), sim::SimCamera::kPowerUpReg5F5);
      for (std::uint16_t reg = 0x5F8; reg <= 0x5FB; ++reg) {
        EXPECT_EQ(camera().Register(reg), 0x34) << reg;
      }
    }
    EXPECT_EQ(camera().Register(0x1006), 0x08);
    EXPECT_TRUE(camera().WriteProtectActive());
  }
};

class EveryChipRow : public UpdateRunTest,
                     public ::testing::WithParamInterface<std::tuple<int, bool>> {};

TEST_P(EveryChipRow, WriteProtectedFlashReceivesTheImageAndIsProtectedAsTheImageSays) {
  const auto [row, asksForProtection] = GetParam();
  StartCamera(WriteProtectedCamera(row));
  world().SetTrafficLogging(false);
  const std::vector<std::uint8_t> image = Image(row, asksForProtection, 7);

  const RunOutcome out = Run(image);

  EXPECT_TRUE(out.opened);
  EXPECT_EQ(context.chipRow[0], row);
  EXPECT_TRUE(out.erased);
  EXPECT_TRUE(out.written);
  EXPECT_TRUE(out.readBackEqual);
  EXPECT_TRUE(FlashHolds(image));
  const bool protects = asksForProtection || row == 13;
  EXPECT_EQ(camera().flash().Status() & kStatusBits, protects ? kProtectedStatus : 0x00);
  // Rows 0 and 1 need nothing after a write.
  EXPECT_EQ(AfterWriteStepRan(), row > 1);
  ExpectControllerRestored(row);
  EXPECT_EQ(context.deviceOpen[0], 0);
  EXPECT_TRUE(world().SessionsBalanced());
}

INSTANTIATE_TEST_SUITE_P(UpdateFlow, EveryChipRow,
                         ::testing::Combine(::testing::Range(0, sim::kSimChipRowCount),
                                            ::testing::Bool()));

TEST_F(UpdateRunTest, RowEighteenInFlashModeOneRunsLikeAnyOtherChip) {
  sim::SimCameraConfig config = WriteProtectedCamera(18);
  config.flashMode = 1;
  StartCamera(config);
  const auto image = Image(18, true, 11);
  const RunOutcome out = Run(image);
  EXPECT_TRUE(out.readBackEqual);
  EXPECT_EQ(camera().flash().Status() & kStatusBits, kProtectedStatus);
  ExpectControllerRestored(18);
}

// In flash mode 2 the library does not touch the status register: a flash the controller
// keeps without block protection is updated behind the pin alone.
TEST_F(UpdateRunTest, RowEighteenInFlashModeTwoUpdatesBehindThePinAlone) {
  sim::SimCameraConfig config = WriteProtectedCamera(18);
  config.flashMode = 2;
  config.initialStatus = 0x00;
  StartCamera(config);
  const auto image = Image(18, true, 12);
  const RunOutcome out = Run(image);
  EXPECT_TRUE(out.readBackEqual);
  EXPECT_TRUE(FlashHolds(image));
  const auto& executed = camera().flash().executedCommands();
  EXPECT_EQ(std::count(executed.begin(), executed.end(), std::uint8_t{0x01}), 0);
  EXPECT_EQ(camera().flash().Status() & kStatusBits, 0x00);
  ExpectControllerRestored(18);
}

TEST_F(UpdateRunTest, FlashThatNeverLeavesBusyIsGivenUpOnInVirtualTimeAndTheRunFails) {
  sim::SimCameraConfig config = WriteProtectedCamera(5);
  config.flashBusyNeverClears = true;
  StartCamera(config);
  world().SetTrafficLogging(false);
  const auto old = config.initialFlash;
  const std::uint64_t start = world().clock().NowMs();

  const RunOutcome out = Run(Image(5, true, 13));

  // The release, the erase, the check whether it ran after all and the restore each wait for
  // the idle flash up to the 40 s deadline and send nothing more to a flash that never idles.
  // An erase that failed after a whole wait is not attempted again, nor is such a restore.
  EXPECT_GE(world().clock().NowMs() - start, 4u * 40000u);
  EXPECT_LT(world().clock().NowMs() - start, 4u * 40000u + 10000u);
  EXPECT_FALSE(out.erased);
  EXPECT_FALSE(out.written);
  EXPECT_TRUE(FlashHolds(old));
  EXPECT_EQ(camera().Register(0x1091), 1);  // the last wait released the flash
  EXPECT_EQ(camera().Register(0x1080), 0);
  // No command reached the busy flash: every wait that gave up stopped the sequence.
  EXPECT_TRUE(world().Violations().empty());
}

// The configuration byte claims a pin driven high while writing; this board inverts it. Where
// the image names the board's pin as it is, the release tries that one and the update passes;
// where the image says the same as the flash, the flash stays protected and nothing is sent to
// it but status reads.
TEST_F(UpdateRunTest, PinPolarityOppositeToTheBoardIsTriedWithTheImagesByteOrFails) {
  for (const bool imageNamesTheBoard : {true, false}) {
    SCOPED_TRACE(imageNamesTheBoard);
    sim::SimCameraConfig config = WriteProtectedCamera(12);
    config.initialFlash[ConfigByteAddress(12)] = 0x32;
    StartCamera(config);
    world().SetTrafficLogging(false);
    const auto old = config.initialFlash;
    std::vector<std::uint8_t> image = Image(12, true, 14);
    if (!imageNamesTheBoard) {
      image[ConfigByteAddress(12)] = 0x32;
    }

    const RunOutcome out = Run(image);

    EXPECT_EQ(out.readBackEqual, imageNamesTheBoard);
    EXPECT_TRUE(FlashHolds(imageNamesTheBoard ? image : old));
    EXPECT_EQ(camera().flash().Status() & kStatusBits, kProtectedStatus);
    if (imageNamesTheBoard) {
      EXPECT_TRUE(camera().WriteProtectActive());
    } else {
      const auto& executed = camera().flash().executedCommands();
      EXPECT_EQ(std::count(executed.begin(), executed.end(), std::uint8_t{0x01}), 0);
      EXPECT_EQ(std::count(executed.begin(), executed.end(), std::uint8_t{0x60}), 0);
    }
    ExpectNoViolations();
    ExpectFlashInterfaceReleased();
  }
}

TEST_F(UpdateRunTest, RequestLostDuringTheEraseFailsTheRunWithoutWritingAndReprotects) {
  // Where the erase command falls among the erase's requests, from a run where none is lost.
  StartCamera(WriteProtectedCamera(14));
  Run(Image(14, true, 15), [&] { world().ClearTraffic(); });
  const std::vector<std::uint8_t> eraseByteWrite = {0x82, 0x10, 0x60, 0x00};
  const auto& dry = world().traffic();
  const auto at = std::find_if(dry.begin(), dry.end(), [&](const sim::TrafficRecord& t) {
    return t.selector == 1 && t.sent == eraseByteWrite;
  });
  ASSERT_NE(at, dry.end());
  const auto offset = static_cast<std::uint32_t>(at - dry.begin()) + 1;

  const sim::SimCameraConfig config = WriteProtectedCamera(14);
  StartCamera(config);
  const RunOutcome out =
      Run(Image(14, true, 15), [&] { faults().failRequestNumber = ServedRequests() + offset; });

  EXPECT_FALSE(out.erased);
  EXPECT_FALSE(out.written);
  EXPECT_FALSE(AfterWriteStepRan());
  EXPECT_TRUE(FlashHolds(config.initialFlash));
  // The old image's block asks for protection, and the restore reads it afresh.
  EXPECT_EQ(camera().flash().Status() & kStatusBits, kProtectedStatus);
  ExpectControllerRestored(14);
}

}  // namespace
}  // namespace velkor::update
