// Enumeration of the video-input devices, binding of the camera's capture filter by its device
// path, and its release. A device counts only when its chip can be identified through the
// extension unit.
#include "transport/capture_devices.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "platform/ports.h"
#include "transport/extension_unit.h"
#include "transport/memory_transfer.h"
#include "transport/utf16_text.h"

namespace velkor::transport {
namespace {

constexpr int kIdentificationAttempts = 2;

// The video-input category's device enumerator; the system enumerator is released on return.
std::unique_ptr<CaptureDeviceEnumerator> OpenVideoInputEnumerator(CaptureSystem& system) {
  std::unique_ptr<SystemDeviceEnumerator> systemEnumerator;
  if (system.CreateSystemDeviceEnumerator(&systemEnumerator) != hr::kOk ||
      systemEnumerator == nullptr) {
    return nullptr;
  }
  std::unique_ptr<CaptureDeviceEnumerator> devices;
  // An empty category answers kFalse, which ends the enumeration like a failure.
  if (systemEnumerator->CreateVideoInputEnumerator(&devices) != hr::kOk) {
    return nullptr;
  }
  return devices;
}

// One enumerated device: the moniker, its property bag and the path read from it. They are
// released together when the device has been dealt with.
struct EnumeratedDevice {
  std::unique_ptr<CaptureDevice> moniker;
  std::unique_ptr<PropertyBag> bag;
  std::u16string path;
};

// Reads the device's path and binds its filter into the bound-filter field. False when any of
// them cannot be obtained; the field is then null.
bool BindDeviceFilter(EnumeratedDevice& device) {
  if (hr::Failed(device.moniker->BindToStorage(&device.bag)) || device.bag == nullptr) {
    return false;
  }
  if (device.bag->ReadDevicePath(&device.path) != hr::kOk) {
    return false;
  }
  if (device.moniker->BindToObject(&boundDevice.filter) != hr::kOk ||
      boundDevice.filter == nullptr) {
    boundDevice.filter.reset();
    return false;
  }
  return true;
}

// Fetches the next device; false when the enumerator has no more.
bool NextDevice(CaptureDeviceEnumerator& devices, EnumeratedDevice* device) {
  *device = EnumeratedDevice{};
  return devices.Next(&device->moniker) == hr::kOk && device->moniker != nullptr;
}

// Locates the extension unit of the bound filter and identifies the chip behind it. When the
// node search fails, the attempt number serves as the node id, which finds the unit on filters
// whose topology does not describe it.
bool IdentifyBoundDevice(IdentifyBoundFn identify) {
  if (identify == nullptr) {
    return false;
  }
  for (std::uint32_t attempt = 1; attempt <= kIdentificationAttempts; ++attempt) {
    if (!FindExtensionNode(&boundDevice.extensionNodeId)) {
      boundDevice.extensionNodeId = attempt;
    }
    if (identify()) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool ListCaptureDevices(char16_t* paths, int count, int length, int* counter,
                        IdentifyBoundFn identify) {
  if (counter != nullptr) {
    *counter = 0;
  }
  if (paths == nullptr || counter == nullptr || count <= 0 || length <= 0) {
    return false;
  }
  const auto entryLength = static_cast<std::size_t>(length);
  std::fill_n(paths, static_cast<std::size_t>(count) * entryLength, u'\0');
  CaptureSystem* system = CurrentPorts().captureSystem;
  if (system == nullptr) {
    return false;
  }

  system->BeginSession();  // its result is not needed: a refused session fails what follows
  std::unique_ptr<CaptureDeviceEnumerator> devices = OpenVideoInputEnumerator(*system);
  if (devices == nullptr) {
    system->EndSession();
    return false;
  }
  devices->Reset();
  EnumeratedDevice device;
  for (int examined = 0; examined < count && NextDevice(*devices, &device); ++examined) {
    if (!BindDeviceFilter(device)) {
      continue;
    }
    if (IdentifyBoundDevice(identify)) {
      CopyUtf16(paths + static_cast<std::size_t>(*counter) * entryLength, entryLength,
                device.path.c_str());
      ++*counter;
    }
    boundDevice.filter.reset();
  }
  device = EnumeratedDevice{};
  devices.reset();
  system->EndSession();
  return *counter > 0;
}

bool BindCaptureDevice(DeviceIndex, const char16_t* path, int length, IdentifyBoundFn identify) {
  CaptureSystem* system = CurrentPorts().captureSystem;
  if (system == nullptr) {
    return false;
  }
  // The session stays open whatever the result; CloseDevice ends it.
  system->BeginSession();
  // A filter left from an earlier bind must not pass for the one this search finds.
  boundDevice.filter.reset();
  if (path == nullptr) {
    return false;
  }
  std::unique_ptr<CaptureDeviceEnumerator> devices = OpenVideoInputEnumerator(*system);
  if (devices == nullptr) {
    return false;
  }
  devices->Reset();
  // A negative length compares the whole path, as wcsncmp does with the huge count that the
  // negative number becomes.
  const std::size_t compareLength =
      length < 0 ? std::numeric_limits<std::size_t>::max() : static_cast<std::size_t>(length);
  EnumeratedDevice device;
  // The first device in enumeration order whose path matches is taken.
  while (NextDevice(*devices, &device)) {
    if (!BindDeviceFilter(device)) {
      continue;
    }
    if (CompareUtf16(device.path.c_str(), path, compareLength) == 0) {
      break;
    }
    boundDevice.filter.reset();
  }
  device = EnumeratedDevice{};
  devices.reset();

  if (boundDevice.filter == nullptr) {
    return false;
  }
  // An unidentified device stays bound; CloseDevice releases it.
  return IdentifyBoundDevice(identify);
}

bool CloseDevice(DeviceIndex) {
  boundDevice.filter.reset();
  if (CaptureSystem* system = CurrentPorts().captureSystem) {
    system->EndSession();
  }
  return true;
}

}  // namespace velkor::transport
