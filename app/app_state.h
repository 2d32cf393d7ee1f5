// Process-wide state of the updater: the firmware image, the chosen capture device, the worker
// and the presence poll's flags. Plain globals, zero (or as noted) when the process starts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/dialog_toolkit.h"

namespace velkor::app {

constexpr std::size_t kImageSize = 65536;

// The firmware image that is written and verified; null until the dialog's initialisation
// points it at a zero-filled block, never freed (a worker may still read it while the process
// ends).
extern std::uint8_t* ImageBuffer;
// LoadFirmwareImage filled ImageBuffer with a complete image.
extern bool ImageLoaded;

// Index of the device-path entry that carries the camera's USB id; -1 when none.
extern std::int32_t TargetIndex;
// The update worker's thread record; null until the worker starts (at most once).
extern CWinThread* WorkerThread;

// Presence poll: camera seen at this tick, at the previous tick, ticks that did not start the
// update.
extern std::int32_t PresentNow;
extern std::int32_t PresentBefore;
extern std::int32_t AbsentTicks;

}  // namespace velkor::app
