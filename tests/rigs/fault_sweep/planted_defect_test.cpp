// Small sweeps over hosts built for the test. Over the restore: one that writes its verdict
// before an unchecked restore of the protection, and one that confirms the restore first; the
// sweep must find the first one's "Pass" on an unprotected camera and nothing in the second.
// Over the write, with second runs: hosts that give up at the first lost request, or take the
// write-protect pin from an erased flash, and one that does neither; the sweep must find the
// firmware lost, the camera left unrecoverable, and nothing in the last.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "access/access_calls.h"
#include "access/chip_table.h"
#include "access/device.h"
#include "access/serial_flash.h"
#include "app/result_log.h"
#include "platform/ports.h"
#include "rigs/sim/sim_world.h"
#include "rigs/fault_sweep/fault_sweep.h"

namespace velkor::sweep {
namespace {

constexpr std::uint32_t kImageSize = 65536;
constexpr std::uint16_t kConfigByteAddress = 0xC034;  // chip row 17

// The test host looks at the simulated camera itself to confirm its restore: an oracle a real
// host lacks, good enough to stand for a host whose restore is sound.
bool CameraProtected() {
  auto* world = static_cast<sim::SimWorld*>(CurrentPorts().captureSystem);
  const sim::SimCamera& camera = *world->device(sim::kSimCameraDevice).camera;
  return world->CameraAttached() && (camera.flash().Status() & 0x8C) == 0x8C &&
         camera.WriteProtectActive();
}

// The restore as a host that trusts every request: write enable, the protecting status value,
// the pin, and nothing read back. One lost request leaves the flash unprotected unnoticed.
void UncheckedRestore(std::uint16_t restoreRegister, std::uint8_t configByte) {
  const auto send = [](std::initializer_list<std::uint8_t> bytes) {
    access::WriteRegister(0x1091, 0);
    for (const std::uint8_t byte : bytes) {
      access::WriteRegister(0x1082, byte);
      access::WriteRegister(0x1081, 1);
      access::WaitFlashReady(0);
    }
    access::WriteRegister(0x1091, 1);
  };
  access::ReadFlashKind(0);  // as the library's restore begins, which marks the phase
  access::WriteRegister(0x1080, 1);
  send({0x06});
  send({0x01, 0x8C});
  access::WriteRegister(0x1080, 0);
  if (restoreRegister != access::kNoRestoreRegister) {
    access::WriteRegister(restoreRegister, static_cast<std::uint8_t>(configByte ^ 0xFF));
  }
  CurrentPorts().clock->SleepMs(100);  // the status write finishes meanwhile
}

// How a test host goes wrong, if it does.
struct HostHabits {
  bool verdictBeforeRestore = false;  // unchecked restore after the verdict
  int writeAttempts = 1;              // erase, write and compare, this many times at most
  bool configFromImage = false;       // an erased configuration byte is taken from the image
};

// The update's steps through the access library, in the updater's order.
int TestHost(const std::vector<std::uint8_t>& image, const HostHabits& habits) {
  const bool verdictBeforeRestore = habits.verdictBeforeRestore;
  char16_t path[256] = {};
  std::char_traits<char16_t>::copy(path, sim::kSimCameraPath,
                                   std::char_traits<char16_t>::length(sim::kSimCameraPath));
  if (access::OpenDevice(path, 256) == 0) {
    app::WriteResultLog(app::Verdict::kFail);
    return 0;
  }
  std::uint8_t chipId[8] = {};
  access::IdentifyChip(chipId);
  std::uint8_t configByte = 0;
  access::ReadMemory(kConfigByteAddress, &configByte, 1);
  if (habits.configFromImage && configByte == 0xFF) {
    configByte = image[kConfigByteAddress];  // an erased flash names no pin
  }
  std::uint16_t restoreRegister = access::kNoRestoreRegister;
  access::SetFlashWriteProtect(0, &restoreRegister, &configByte);
  std::vector<std::uint8_t> readBack(kImageSize);
  bool written = false;
  for (int attempt = 0; attempt < habits.writeAttempts && !written; ++attempt) {
    written = access::EraseFlash() && access::WriteMemory(0, image.data(), kImageSize) &&
              access::ReadMemory(0, readBack.data(), kImageSize) && readBack == image;
  }
  const app::Verdict verdict = written ? app::Verdict::kPass : app::Verdict::kFail;
  if (verdictBeforeRestore) {
    app::WriteResultLog(verdict);
    UncheckedRestore(restoreRegister, configByte);
  } else {
    bool restored = false;
    for (int attempt = 0; attempt < 3 && !restored; ++attempt) {
      CurrentPorts().clock->SleepMs(100);  // a status write still running finishes meanwhile
      access::SetFlashWriteProtect(1, &restoreRegister, &configByte);
      restored = CameraProtected();
    }
    app::WriteResultLog(restored ? verdict : app::Verdict::kFail);
  }
  access::CloseDevice();
  return 0;
}

// Sweeps every request of the restore with a failed request, on chip row 17.
SweepResult SweepRestore(bool verdictBeforeRestore) {
  SweepSettings settings;
  settings.chipRow = 17;
  settings.kinds = {FaultKind::kFailedRequest};
  const std::vector<std::uint8_t> image = MakeTarget(17).image;
  HostHabits habits;
  habits.verdictBeforeRestore = verdictBeforeRestore;
  settings.program = [image, habits] { return TestHost(image, habits); };
  settings.last = 1;  // first only the phase map
  const SweepResult mapped = RunSweep(settings);
  const auto begin = std::find_if(mapped.requests.begin(), mapped.requests.end(),
                                  [](const RequestInfo& r) { return r.phase == Phase::kRestore; });
  settings.first = static_cast<std::uint32_t>(begin - mapped.requests.begin()) + 1;
  settings.last = static_cast<std::uint32_t>(mapped.requests.size());
  return RunSweep(settings);
}

TEST(PlantedDefect, VerdictBeforeTheRestoreIsFoundAsPassWithProtectionOff) {
  const SweepResult result = SweepRestore(true);
  ASSERT_EQ(result.cleanRunProblem, "");
  const Tally& restore = result.cells[static_cast<int>(Phase::kRestore)][0];
  EXPECT_GT(restore.runs, 10u);
  EXPECT_GT(restore.defects[static_cast<int>(Defect::kPassUnprotected)], 0u);
  EXPECT_EQ(restore.failed, restore.defects[static_cast<int>(Defect::kPassUnprotected)]);
  ASSERT_FALSE(result.defective.empty());
  EXPECT_EQ(result.defective.front().record.flash, FlashContent::kImage);
}

TEST(PlantedDefect, ConfirmedRestoreBeforeTheVerdictSweepsClean) {
  const SweepResult result = SweepRestore(false);
  ASSERT_EQ(result.cleanRunProblem, "");
  EXPECT_GT(result.Runs(), 100u);
  EXPECT_EQ(result.Failed(), 0u);
}

// Sweeps the write with lost requests and requests carried out but reported failed, every
// 512th index, each followed by second runs in both forms.
SweepResult SweepWrite(const HostHabits& habits) {
  SweepSettings settings;
  settings.chipRow = 17;
  settings.kinds = {FaultKind::kFailedRequest, FaultKind::kDoneFail};
  settings.stride = 512;
  settings.rerun.attached = true;
  settings.rerun.replugged = true;
  const std::vector<std::uint8_t> image = MakeTarget(17).image;
  settings.program = [image, habits] { return TestHost(image, habits); };
  settings.last = 1;  // first only the phase map
  const SweepResult mapped = RunSweep(settings);
  const auto inWrite = [](const RequestInfo& r) { return r.phase == Phase::kWrite; };
  const auto begin = std::find_if(mapped.requests.begin(), mapped.requests.end(), inWrite);
  const auto end = std::find_if_not(begin, mapped.requests.end(), inWrite);
  settings.first = static_cast<std::uint32_t>(begin - mapped.requests.begin()) + 1;
  settings.last = static_cast<std::uint32_t>(end - mapped.requests.begin());
  return RunSweep(settings);
}

// The write phase's tally of one kind.
const Tally& Write(const SweepResult& result, FaultKind kind) {
  return result.cells[static_cast<int>(Phase::kWrite)][static_cast<int>(kind)];
}
std::uint32_t Count(const Tally& tally, Defect defect) {
  return tally.defects[static_cast<int>(defect)];
}

TEST(PlantedDefect, GivingUpAfterTheEraseIsFoundAsFirmwareLost) {
  HostHabits habits;
  habits.configFromImage = true;  // the second run can mend what the first left
  const SweepResult result = SweepWrite(habits);
  ASSERT_EQ(result.cleanRunProblem, "");
  // Every lost piece leaves the flash partly written. A piece carried out but reported failed
  // mostly does too; the last one leaves the whole image, which is no loss.
  const Tally& lost = Write(result, FaultKind::kFailedRequest);
  const Tally& doneFail = Write(result, FaultKind::kDoneFail);
  EXPECT_GT(lost.runs, 10u);
  EXPECT_EQ(Count(lost, Defect::kFirmwareLost), lost.runs);
  EXPECT_GT(Count(doneFail, Defect::kFirmwareLost), doneFail.runs / 2);
  for (const Tally& tally : {lost, doneFail}) {
    EXPECT_EQ(Count(tally, Defect::kUnrecoverableAttached), 0u);
    EXPECT_EQ(Count(tally, Defect::kUnrecoverableReplugged), 0u);
  }
}

TEST(PlantedDefect, PinFromAnErasedFlashIsFoundAsUnrecoverableInBothForms) {
  const SweepResult result = SweepWrite(HostHabits{});
  ASSERT_EQ(result.cleanRunProblem, "");
  // A piece lost before the write reaches row 17's configuration byte (0xC034, three
  // quarters in) leaves it erased for the second run to misread, attached or re-plugged alike.
  const Tally& lost = Write(result, FaultKind::kFailedRequest);
  EXPECT_GT(lost.runs, 10u);
  EXPECT_GE(Count(lost, Defect::kUnrecoverableAttached), lost.runs * 2 / 3);
  EXPECT_LT(Count(lost, Defect::kUnrecoverableAttached), lost.runs);
  EXPECT_EQ(Count(lost, Defect::kUnrecoverableReplugged),
            Count(lost, Defect::kUnrecoverableAttached));
  EXPECT_GT(Count(Write(result, FaultKind::kDoneFail), Defect::kUnrecoverableReplugged), 0u);
  ASSERT_FALSE(result.defective.empty());
  const RerunRecord& second = result.defective.front().record.rerunReplugged;
  EXPECT_TRUE(second.ran);
  EXPECT_NE(second.flash, FlashContent::kImage);
}

TEST(PlantedDefect, RetriedWriteWithThePinFromTheImageSweepsClean) {
  HostHabits habits;
  habits.writeAttempts = 3;
  habits.configFromImage = true;
  const SweepResult result = SweepWrite(habits);
  ASSERT_EQ(result.cleanRunProblem, "");
  EXPECT_GT(result.Runs(), 20u);
  EXPECT_EQ(result.Failed(), 0u);
}

}  // namespace
}  // namespace velkor::sweep
