// Phase maps of real clean updates: a row whose host erases the flash and one whose controller
// does, in order and with the long phases as long as the image.
#include "rigs/fault_sweep/phase_map.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "rigs/sim/sim_controller_chip_rows.h"
#include "rigs/fault_sweep/sweep_world.h"

namespace velkor::sweep {
namespace {

// The phases in the order they come, with the length of each stretch.
std::vector<std::pair<Phase, std::size_t>> Stretches(int chipRow) {
  const std::filesystem::path previous = std::filesystem::current_path();
  const std::filesystem::path directory =
      std::filesystem::temp_directory_path() /
      ("velkor-phase-map-" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(directory);
  std::filesystem::current_path(directory);
  std::vector<sim::TrafficRecord> traffic;
  RunOnce(MakeTarget(chipRow), std::nullopt, UpdaterProgram(), &traffic);
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(directory);

  std::vector<std::pair<Phase, std::size_t>> stretches;
  for (const RequestInfo& request :
       MapPhases(traffic, sim::kSimChipRows[chipRow].flashKindRegister)) {
    if (stretches.empty() || stretches.back().first != request.phase) {
      stretches.push_back({request.phase, 0});
    }
    ++stretches.back().second;
  }
  return stretches;
}

std::vector<Phase> Order(const std::vector<std::pair<Phase, std::size_t>>& stretches) {
  std::vector<Phase> order;
  for (const auto& [phase, length] : stretches) {
    order.push_back(phase);
  }
  return order;
}

TEST(PhaseMap, HostErasedRowPollsBetweenTheEraseAndTheWrite) {
  const auto stretches = Stretches(17);
  ASSERT_EQ(Order(stretches),
            (std::vector<Phase>{Phase::kOpen, Phase::kRelease, Phase::kErase, Phase::kErasePoll,
                                Phase::kErase, Phase::kWrite, Phase::kReadBack, Phase::kRestore,
                                Phase::kClose}));
  EXPECT_EQ(stretches[5].second, 8192u) << "one program request per 8 bytes of the image";
  EXPECT_GE(stretches[6].second, 8192u) << "a read start and a GET per 8 bytes";
  EXPECT_GT(stretches[3].second, 1000u) << "the 800 ms erase polled at zero latency";
}

TEST(PhaseMap, ControllerErasedRowHasNoPoll) {
  const auto stretches = Stretches(0);
  ASSERT_EQ(Order(stretches),
            (std::vector<Phase>{Phase::kOpen, Phase::kRelease, Phase::kErase, Phase::kWrite,
                                Phase::kReadBack, Phase::kRestore}));
  EXPECT_EQ(stretches[3].second, 8192u);
}

}  // namespace
}  // namespace velkor::sweep
