// The update of one camera: open, settle, identify, configuration byte, (backup), release,
// erase, (erase check), write, read back and compare, restore, after-write step, close. The
// updater's worker and the service tool's write both run it; they differ only in the options.
// A run keeps nothing between calls: what it knows of the camera is in the access library's
// entries for the device it is given and in the record it returns.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "access/access_context.h"
#include "platform/clock.h"
#include "update/update_observer.h"
#include "update/update_record.h"

namespace velkor::update {

struct UpdateTarget {
  // The access library's entries the run works on. Its open fills those of device 0, the only
  // one a program uses so far.
  access::DeviceIndex device = 0;
  const char16_t* path = nullptr;       // the capture device to open; null: there is none to open
  int pathLength = 0;                   // bounds the path comparison of the bind
  std::span<const std::uint8_t> image;  // the flash's new content, as long as the flash
};

struct UpdateOptions {
  // The pause between opening the camera and identifying it.
  std::uint32_t settleMs = 2000;
  // When set, the old flash is read whole and handed over before anything on the camera is
  // changed; false from it ends the run there, with nothing written.
  std::function<bool(std::span<const std::uint8_t> oldFlash)> backup;
  // Read the whole flash back after the erase and write only over a flash that is all 0xFF.
  bool checkErased = false;
  // Read the status register once more after the restore, for the caller's report.
  bool readStatusAfterRestore = false;
  // Run the after-write step also after a failed write request, whose earlier pieces may have
  // gone through.
  bool afterWriteStepOnFailedWrite = false;
};

// Runs the whole update on the target and returns what it did. On every path from the release
// on the protection is restored and the device closed; the camera is closed on return.
UpdateRecord RunUpdate(const UpdateTarget& target, const UpdateOptions& options, Clock& clock,
                       UpdateObserver& observer);

}  // namespace velkor::update
