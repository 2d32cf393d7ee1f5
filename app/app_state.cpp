// Definitions of the updater's process-wide state.
#include "app/app_state.h"

namespace velkor::app {

std::uint8_t* ImageBuffer = nullptr;
bool ImageLoaded = false;
std::int32_t TargetIndex = -1;
CWinThread* WorkerThread = nullptr;
std::int32_t PresentNow = 0;
std::int32_t PresentBefore = 0;
std::int32_t AbsentTicks = 0;

}  // namespace velkor::app
