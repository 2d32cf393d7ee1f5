// Capture-system port on COM, the DirectShow system device enumerator and kernel streaming.
#pragma once

#include "platform/capture_system.h"

namespace velkor::win32 {

// Every object it hands out owns one COM reference and releases it when destroyed.
class ComCaptureSystem : public CaptureSystem {
 public:
  HResult BeginSession() override;
  void EndSession() override;
  HResult CreateSystemDeviceEnumerator(std::unique_ptr<SystemDeviceEnumerator>* e) override;
};

}  // namespace velkor::win32
