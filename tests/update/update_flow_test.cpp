// What the update flow promises its callers, with a lost request anywhere in the run, under the
// updater's options and under the service tool's: one verdict, each step started and finished
// once and in order, the protection restored and the camera closed on every path from the
// release on, "Update Finish." only with the image in a protected flash.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "platform/ports.h"
#include "rigs/sim/sim_flash.h"
#include "tests/access/sim_access_fixture.h"
#include "update/status_texts.h"
#include "tests/update/sim_camera_target.h"
#include "update/update_flow.h"

namespace velkor::update {
namespace {

constexpr int kRow = 17;
constexpr std::uint16_t kConfigByteAddress = 0xC034;  // row 17's configuration byte
constexpr std::uint16_t kBlockDAddress = 0xC003;
constexpr std::uint8_t kBoardPinConfig = 0xB1;  // pin 3 through an inverter; protect afterwards

std::vector<std::uint8_t> Image(std::uint8_t seed) {
  std::vector<std::uint8_t> image(0x10000);
  for (std::size_t i = 0; i < image.size(); ++i) {
    image[i] = static_cast<std::uint8_t>(i * 131 + seed);
  }
  image[kConfigByteAddress] = kBoardPinConfig;
  image[kBlockDAddress] = 0x36;
  return image;
}

struct Event {
  enum Kind { kStarted, kFinished } kind;
  Step step;
  bool ok = true;
};

// Everything the flow tells its observer, in order.
class Recorder : public UpdateObserver {
 public:
  void Status(StatusColour colour, const char* text) override {
    lastColour = colour;
    lastText = text;
  }
  void StepStarted(Step step) override { events.push_back({Event::kStarted, step}); }
  void StepFinished(Step step, bool ok, const UpdateRecord&) override {
    events.push_back({Event::kFinished, step, ok});
  }
  void Concluded(const UpdateRecord& record) override {
    ++conclusions;
    concluded = record.failure;
  }

  bool Finished(Step step) const {
    return std::any_of(events.begin(), events.end(), [step](const Event& event) {
      return event.kind == Event::kFinished && event.step == step;
    });
  }

  std::vector<Event> events;
  StatusColour lastColour = StatusColour::kBlue;
  std::string lastText;
  int conclusions = 0;
  Failure concluded = Failure::kNone;
};

struct Caller {
  const char* name;
  bool toolOptions;
};

void PrintTo(const Caller& caller, std::ostream* out) {
  *out << caller.name;
}

class FlowUnderALostRequest : public access::SimAccessTest,
                              public ::testing::WithParamInterface<Caller> {
 protected:
  void StartCamera() {
    sim::SimCameraConfig config;
    config.chipRow = kRow;
    config.initialFlash = Image(1);
    config.initialStatus = 0x8C;
    StartWorld(config);
  }

  UpdateRecord Run(Recorder* recorder) {
    const SimCameraTarget cameraTarget(image_);
    UpdateOptions options;
    options.settleMs = 0;
    backup_.clear();
    if (GetParam().toolOptions) {
      options.checkErased = true;
      options.readStatusAfterRestore = true;
      options.afterWriteStepOnFailedWrite = true;
      options.backup = [this](std::span<const std::uint8_t> old) {
        backup_.assign(old.begin(), old.end());
        return true;
      };
    }
    return RunUpdate(cameraTarget.target(), options, *CurrentPorts().clock, *recorder);
  }

  // The promises, for one run; where names the lost request in failure messages.
  void ExpectKept(const UpdateRecord& record, const Recorder& recorder, const std::string& where) {
    SCOPED_TRACE(where);
    EXPECT_EQ(recorder.conclusions, 1);
    EXPECT_EQ(recorder.concluded, record.failure);
    // Started and finished in pairs, in the flow's order; a step goes back only to run a new
    // attempt from the release or the erase, after a step that failed.
    ASSERT_EQ(recorder.events.size() % 2, 0u);
    for (std::size_t i = 0; i < recorder.events.size(); i += 2) {
      EXPECT_EQ(recorder.events[i].kind, Event::kStarted);
      EXPECT_EQ(recorder.events[i + 1].kind, Event::kFinished);
      EXPECT_EQ(recorder.events[i].step, recorder.events[i + 1].step);
      if (i > 0 && recorder.events[i - 1].step >= recorder.events[i].step) {
        EXPECT_FALSE(recorder.events[i - 1].ok);
        EXPECT_TRUE(recorder.events[i].step == Step::kRelease ||
                    recorder.events[i].step == Step::kErase);
      }
    }
    EXPECT_LE(record.attempts, 3);
    const bool released = recorder.Finished(Step::kRelease);
    if (released) {
      EXPECT_TRUE(recorder.Finished(Step::kRestore));
      EXPECT_TRUE(recorder.Finished(Step::kClose));
    }
    EXPECT_FALSE(access::IsOpen(0));
    EXPECT_TRUE(world().SessionsBalanced());
    const auto& flash = camera().flash().content();
    if (record.passed()) {
      EXPECT_EQ(recorder.lastText, record.attempts > 1 ? kTextFinishedAfterRetry : kTextFinished);
      EXPECT_EQ(recorder.lastColour, StatusColour::kBlue);
      EXPECT_TRUE(std::equal(image_.begin(), image_.end(), flash.begin()));
      EXPECT_TRUE(camera().WriteProtectActive());
      EXPECT_TRUE(record.verified && record.restored);
    } else if (record.failure != Failure::kBackupUnreadable) {
      EXPECT_EQ(recorder.lastColour, StatusColour::kRed);
    }
    if (!record.written) {
      EXPECT_TRUE(std::equal(flash.begin(), flash.end(), Image(1).begin()) ||
                  std::all_of(flash.begin(), flash.end(), [](auto b) { return b == 0xFF; }))
          << "the flash holds the old firmware or is erased";
    }
    if (!backup_.empty()) {
      EXPECT_EQ(backup_, Image(1));
    }
  }

  const std::vector<std::uint8_t> image_ = Image(2);
  std::vector<std::uint8_t> backup_;
};

TEST_P(FlowUnderALostRequest, KeepsItsPromisesWhereverTheRequestIsLost) {
  StartCamera();
  Recorder clean;
  const UpdateRecord cleanRecord = Run(&clean);
  ExpectKept(cleanRecord, clean, "no request lost");
  ASSERT_TRUE(cleanRecord.passed());
  const std::uint32_t requests = ServedRequests();

  // Densely where the requests are few and each does something else, sparsely in the long
  // transfers.
  int runs = 0;
  int failed = 0;
  for (std::uint32_t lost = 1; lost <= requests; ++lost) {
    const bool dense = lost <= 300 || lost + 300 > requests;
    if (lost % (dense ? 11 : 2039) != 1) {
      continue;
    }
    StartCamera();
    faults().failRequestNumber = lost;
    Recorder recorder;
    const UpdateRecord record = Run(&recorder);
    const ::testing::TestResult* result =
        ::testing::UnitTest::GetInstance()->current_test_info()->result();
    const int partsBefore = result->total_part_count();
    ExpectKept(record, recorder, "request " + std::to_string(lost) + " lost");
    ++runs;
    failed += result->total_part_count() > partsBefore ? 1 : 0;
  }
  std::printf("%d passed, %d failed\n", runs - failed, failed);
}

INSTANTIATE_TEST_SUITE_P(Callers, FlowUnderALostRequest,
                         ::testing::Values(Caller{"updater", false}, Caller{"tool", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velkor::update
