// The COM-style objects that the simulated capture system hands out: system and video-input
// enumerators, device monikers, property bags, capture filters, their controls and topology.
#pragma once

#include <memory>

#include "platform/capture_system.h"

namespace velkor::sim {

class SimWorld;

// Each object keeps only a pointer to the world and its device index, so the objects may be
// destroyed in any order; the world must outlive all of them.
std::unique_ptr<SystemDeviceEnumerator> MakeSimSystemDeviceEnumerator(SimWorld* world);

}  // namespace velkor::sim
