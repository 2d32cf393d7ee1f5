// The capture devices' paths through the capture-system port, and the lock on the camera's.
#include "app/camera_lock_target.h"

#include "app/target_devices.h"
#include "app/velkor_dlg.h"
#include "platform/ports.h"

namespace velkor::app {

std::vector<std::u16string> CaptureDevicePaths() {
  std::vector<std::u16string> paths;
  CaptureSystem* system = CurrentPorts().captureSystem;
  if (system == nullptr) {
    return paths;
  }
  system->BeginSession();  // a refused session fails what follows
  std::unique_ptr<SystemDeviceEnumerator> systemEnumerator;
  std::unique_ptr<CaptureDeviceEnumerator> devices;
  if (system->CreateSystemDeviceEnumerator(&systemEnumerator) == hr::kOk && systemEnumerator &&
      systemEnumerator->CreateVideoInputEnumerator(&devices) == hr::kOk && devices) {
    devices->Reset();
    std::unique_ptr<CaptureDevice> device;
    while (devices->Next(&device) == hr::kOk && device != nullptr) {
      std::unique_ptr<PropertyBag> bag;
      std::u16string path;
      if (!hr::Failed(device->BindToStorage(&bag)) && bag != nullptr &&
          bag->ReadDevicePath(&path) == hr::kOk) {
        paths.push_back(std::move(path));
      }
      device.reset();
    }
  }
  devices.reset();
  systemEnumerator.reset();
  system->EndSession();
  return paths;
}

bool LockCamera() {
  CameraLock* lock = CurrentPorts().cameraLock;
  if (lock == nullptr) {
    return true;
  }
  for (const std::u16string& path : CaptureDevicePaths()) {
    char narrow[kPathLength];
    NarrowPath(path.c_str(), narrow, kPathLength);
    if (PathCarriesTargetId(narrow)) {
      std::string holder;
      return lock->Acquire(path, &holder) != LockOutcome::kBusy;
    }
  }
  return true;
}

}  // namespace velkor::app
