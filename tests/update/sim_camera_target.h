// The simulated camera as the update flow's target: its path in a 256-character buffer, as the
// updater holds the paths it lists.
#pragma once

#include <cstdint>
#include <span>

#include "rigs/sim/sim_world.h"
#include "update/update_flow.h"

namespace velkor::update {

class SimCameraTarget {
 public:
  explicit SimCameraTarget(std::span<const std::uint8_t> image) {
    for (int i = 0; i < kLength - 1 && sim::kSimCameraPath[i] != 0; ++i) {
      path_[i] = sim::kSimCameraPath[i];
    }
    target_.path = path_;
    target_.pathLength = kLength;
    target_.image = image;
  }
  SimCameraTarget(const SimCameraTarget&) = delete;
  SimCameraTarget& operator=(const SimCameraTarget&) = delete;

  const UpdateTarget& target() const { return target_; }

 private:
  static constexpr int kLength = 256;
  char16_t path_[kLength] = {};
  UpdateTarget target_;
};

}  // namespace velkor::update
