// Judges what one run left behind: the flash content against the old firmware and the image,
// and the defect classes of the run's end, verdict and protection.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "rigs/fault_sweep/sweep_types.h"

namespace velkor::sweep {

// The three spans are of equal length.
FlashContent ClassifyFlash(std::span<const std::uint8_t> flash, std::span<const std::uint8_t> old,
                           std::span<const std::uint8_t> image);

// The flash is protected when its status register holds SRWD, BP1 and BP0 (0x8C) and WP# is
// low, as on a camera that left the factory; every sweep image asks for that protection back.
bool ProtectionOn(const RunRecord& record);

// The defect classes of a run. passVerdict is the clean run's "Result.log", byte for byte.
DefectSet Judge(const ChildEnd& end, const RunRecord& record, const std::string& passVerdict);

// The defects judged with --rerun: a second run that does not end "Pass" with the image and the
// protection on (per form that ran), and the firmware lost on a camera still attached. An
// unplug fault is excepted from the latter (its second runs must pass instead).
DefectSet JudgeRecovery(const RunRecord& record, const std::string& passVerdict, bool unplugFault);

}  // namespace velkor::sweep
