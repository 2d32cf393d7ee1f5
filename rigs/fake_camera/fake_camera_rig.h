// The simulated camera as a Windows machine would present it: the capture devices to register,
// the device tree, and each capture filter's topology and property requests with the answers
// of the kernel-streaming proxy. One presence schedule serves the device tree and the capture
// devices. Every request is recorded twice: as the KSP_NODE that arrived and as the simulator
// saw it, for a test to compare. Thread-safe: the program's two threads call in.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/device_tree.h"
#include "platform/hresult.h"
#include "rigs/sim/sim_world.h"
#include "rigs/fake_camera/fake_camera_config.h"

namespace velkor::fakecam {

// ERROR_MORE_DATA as an HRESULT: the kernel-streaming proxy's answer to a request without a
// buffer for a property that has a value (the length needed comes back as the returned length).
namespace ksproxy {
constexpr HResult kMoreData = static_cast<HResult>(0x800700EAu);
}  // namespace ksproxy

// The world time of the program's first device-tree walk: its first one-second poll tick.
constexpr std::uint64_t kFirstWalkWorldMs = 1000;

struct CaptureDeviceEntry {
  std::u16string path;          // "DevicePath"
  std::u16string friendlyName;  // "FriendlyName"
  std::u16string key;           // the registration's key name; keys enumerate in name order
  bool present = false;
};

// One property request as the capture filter received it.
struct KsRequestRecord {
  int device = -1;
  KsPropertyNode property{};  // the first propertyLength bytes of the descriptor, rest zero
  std::uint32_t propertyLength = 0;
  std::vector<std::uint8_t> sent;     // the data buffer before the call (empty when null)
  std::vector<std::uint8_t> replied;  // the data buffer after the call
  HResult result = hr::kOk;
};

class FakeCameraRig {
 public:
  // realClock gives the machine's milliseconds; the simulated world's clock follows it from
  // kFirstWalkWorldMs on, so the attach tick of the options counts from the first walk.
  FakeCameraRig(const FakeCameraConfig& config, Clock& realClock);
  ~FakeCameraRig();

  // The machine's device tree; each LocateRoot starts a walk.
  int LocateRoot(DeviceNode* out);
  int GetChild(DeviceNode* out, DeviceNode node);
  int GetSibling(DeviceNode* out, DeviceNode node);
  int GetParent(DeviceNode* out, DeviceNode node);
  int GetProperty(DeviceNode node, int property, char* buffer, std::uint32_t* length);

  // The video-input devices in the order they enumerate, with whether each is plugged in now.
  std::vector<CaptureDeviceEntry> CaptureDevices();
  // Whether each device is plugged in now, in the same order (cheap: called after requests).
  std::vector<bool> Presence();
  // The device whose path this is, or -1.
  int DeviceForPath(const std::u16string& path);

  // IKsTopologyInfo of a device's filter.
  HResult NumNodes(int device, std::uint32_t* count);
  HResult NodeType(int device, std::uint32_t node, Guid* type);
  bool HasNode(int device, std::uint32_t node);
  // IKsControl::KsProperty on the filter (node < 0) or on one topology node's own control.
  // property is the raw descriptor of propertyLength bytes.
  HResult KsProperty(int device, int node, const void* property, std::uint32_t propertyLength,
                     void* data, std::uint32_t dataLength, std::uint32_t* bytesReturned);

  const FakeCameraConfig& config() const { return config_; }

  // What the test judges after the run: the state as key=value lines, the flash content and
  // the two request records (one line per request, the shared fields in the same format).
  struct Reports {
    std::string state;
    std::vector<std::uint8_t> flash;
    std::string ks;
    std::string sim;
  };
  // Fills *reports unless the rig stays busy for about a second: a thread that ended inside a
  // request may hold the lock for ever, and the caller must not hang on it.
  bool CollectReports(Reports* reports);
  // With --camera-state: saves the camera's state to its file (true without one). False, with
  // the reason, when the file cannot be written or the rig stays busy as above.
  bool SaveCameraState(std::string* error);

 private:
  std::unique_lock<std::mutex> LockUnlessStuck();
  void LoadCameraState();
  void CatchUpLocked();
  std::string StateReportLocked();
  std::string KsRecordTextLocked() const;
  std::string SimRecordTextLocked() const;
  HResult AsKsProxyAnswer(int device, int node, const KsPropertyNode& property,
                          std::uint32_t dataLength, HResult worldResult) const;

  std::mutex mutex_;
  FakeCameraConfig config_;
  Clock& realClock_;
  std::uint64_t realOrigin_;
  std::unique_ptr<sim::SimWorld> world_;
  int cameraDevice_ = 0;
  int otherDevice_ = -1;
  std::uint32_t walks_ = 0;
  std::uint32_t firstWalkWithCamera_ = 0;
  std::vector<KsRequestRecord> ksRecord_;
  // Why the camera state file could not be loaded (the camera then never appears); empty: fine.
  std::string cameraStateError_;
};

// The fields both records share, as one line: device, selector, flags, node id, descriptor
// length, data length and the data before and after the call.
std::string RequestLine(int device, std::uint32_t selector, std::uint32_t flags,
                        std::uint32_t nodeId, std::uint32_t propertyLength,
                        const std::vector<std::uint8_t>& sent,
                        const std::vector<std::uint8_t>& replied);

}  // namespace velkor::fakecam
