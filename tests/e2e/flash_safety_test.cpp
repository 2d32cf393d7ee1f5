// Whole runs in which one request goes astray around the erase and the protection restore: the
// camera keeps either its old firmware or the new image, and its protection, and the verdict
// tells the truth.
#include "app/label.h"
#include "updater_harness.h"

namespace velkor::app {
namespace {

bool Writes(const sim::TrafficRecord& record, std::uint16_t reg, std::uint8_t value) {
  return record.selector == 1 && (record.flags & 0x2) != 0 &&
         record.sent == std::vector<std::uint8_t>{static_cast<std::uint8_t>(reg & 0xFF),
                                                  static_cast<std::uint8_t>(reg >> 8), value, 0};
}
bool LatchesStatusByte(const sim::TrafficRecord& record) {
  return record.selector == 1 && record.sent == std::vector<std::uint8_t>{0x83, 0x10, 0x00, 0xFF};
}

class FlashSafetyRun : public UpdaterRun {
 protected:
  void ExpectPassWithImageAndProtection(const std::vector<std::uint8_t>& image) {
    EXPECT_EQ(ResultLog(), kPassBytes);
    EXPECT_TRUE(FlashHolds(image));
    EXPECT_EQ(camera().flash().Status() & kStatusBits, kProtectedStatus);
    EXPECT_TRUE(camera().WriteProtectActive());
  }

  // The restore's first request: the read of the configuration block's D (after a verified
  // write the flash decides).
  std::uint32_t RestoreStart() {
    const std::uint32_t ordinal = RequestOrdinal(Camera(), [](const sim::TrafficRecord& r) {
      return r.selector == 3 && (r.flags & 0x2) != 0 && r.sent.size() == 12 && r.sent[0] == 0x03 &&
             r.sent[1] == 0xC0 && r.sent[2] == 0x81;
    });
    EXPECT_GT(ordinal, 0u);
    return ordinal;
  }
};

// Row 5 with a 5-second erase, and the GET of the second status read after the erase command is
// lost. The wait used to end there, reporting the erase done after 1 ms while the flash still
// erased, and the image went nowhere. Now the wait polls on.
TEST_F(FlashSafetyRun, StatusReadLostDuringALongEraseStillEndsInPassWithTheImage) {
  sim::SimCameraConfig config = Camera();
  config.chipRow = 5;  // its configuration byte sits at 0x8034, the block's D at 0x8003
  config.chipEraseMs = 5000;
  config.initialFlash[0x8034] = kBoardPinConfig;
  config.initialFlash[0x8003] = 0x36;
  std::vector<std::uint8_t> image = image_;
  image[0x8034] = kBoardPinConfig;
  image[0x8003] = 0x36;
  resources_.image = image;
  const std::uint32_t secondStatusGet =
      RequestOrdinal(config,
                     [erased = false, reads = 0](const sim::TrafficRecord& r) mutable {
                       erased = erased || IsEraseCommand(r);
                       return erased && LatchesStatusByte(r) && ++reads == 2;
                     }) +
      1;
  ASSERT_GT(secondStatusGet, 1u);
  Build(config);
  faults().failRequestNumber = secondStatusGet;

  Run();

  ExpectPassWithImageAndProtection(image);
  EXPECT_GE(FirstTextTime("Check flash data.") - FirstTextTime("Update Firmware ..."), 7000u);
}

// The receive trigger of the status read that waits out the release's status write is lost, so
// the data-in register still holds the 0 the host put there: "idle" while the flash is still
// busy. An erase sent then would be ignored and the image ANDed into the old firmware.
TEST_F(FlashSafetyRun, LostReceiveTriggerAfterTheReleaseDoesNotLetTheEraseMeetABusyFlash) {
  const std::uint32_t trigger =
      RequestOrdinal(Camera(), [wrsr = false](const sim::TrafficRecord& r) mutable {
        wrsr = wrsr || Writes(r, 0x1082, 0x01);
        return wrsr && Writes(r, 0x1081, 0x02);
      });
  ASSERT_GT(trigger, 0u);
  Build();
  faults().failRequestNumber = trigger;

  Run();

  ExpectPassWithImageAndProtection(image_);
}

// The camera is pulled a few status reads into the erase: the erase fails within milliseconds
// of polling instead of the hours that 10,000 passes of failed reads would take.
TEST_F(FlashSafetyRun, CameraUnpluggedDuringTheEraseFailsWithinMilliseconds) {
  const std::uint32_t erase = RequestOrdinal(Camera(), IsEraseCommand);
  ASSERT_GT(erase, 0u);
  Build();
  faults().unplugAfterRequests = erase + 40;

  Run();

  EXPECT_EQ(ResultLog(), std::string("Fail", 4));
  EXPECT_EQ(StatusTexts().back(), (StatusText{"Restore protection failed!!!", kRed}));
  // The worker starts at "Update Firmware ...", settles for 2,000 ms, releases the protection
  // (a 15 ms status write) and erases. A camera that is gone is not given more attempts once
  // it has not answered for a second, nor more restores after the first back-off and second.
  const std::uint64_t untilErase =
      FirstTextTime("Erase failed!!!") - FirstTextTime("Update Firmware ...");
  EXPECT_LT(untilErase, 2000u + 100u);
  const std::uint64_t untilVerdict =
      FirstTextTime("Restore protection failed!!!") - FirstTextTime("Update Firmware ...");
  EXPECT_LT(untilVerdict, 2000u + 1000u + 100u + 1000u + 200u);
}

// Every request of the restore's first try is lost (the configuration block's reads, three
// tries of the status write), though the camera answers again at once: the restore is tried
// again from a known state and the pass stands.
TEST_F(FlashSafetyRun, RestoreLosingARunOfRequestsIsTriedAgainAndThePassStands) {
  const std::uint32_t restore = RestoreStart();
  Build();
  faults().failRequestNumber = restore;
  faults().failRequestRun = 17;

  Run();

  ExpectPassWithImageAndProtection(image_);
}

// A restore that never confirms turns the image in the flash into a "Fail", and says so.
TEST_F(FlashSafetyRun, RestoreThatNeverConfirmsTurnsThePassIntoAFail) {
  const std::uint32_t restore = RestoreStart();
  Build();
  faults().failRequestNumber = restore;
  faults().failRequestRun = 1000000;

  Run();

  EXPECT_EQ(exitCode_, 0);
  EXPECT_EQ(ResultLog(), std::string("Fail", 4));
  EXPECT_EQ(StatusTexts().back(), (StatusText{"Restore protection failed!!!", kRed}));
  EXPECT_EQ(Progress(), (std::vector<int>{0, 25, 50, 75, 100}));
  EXPECT_TRUE(FlashHolds(image_));
}

}  // namespace
}  // namespace velkor::app
