// The simulated world around the camera: capture devices with their paths and filter
// topology, the device tree, fault injection on requests, and a log of every request.
// It implements the capture-system and device-tree ports on a virtual clock.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/capture_system.h"
#include "platform/device_tree.h"
#include "platform/ports.h"
#include "rigs/sim/sim_camera.h"
#include "rigs/sim/sim_violations.h"
#include "rigs/sim/virtual_clock.h"

namespace velkor::sim {

// One node of a capture filter's kernel-streaming topology.
struct SimTopologyNode {
  Guid type;
  bool answersProbe = false;      // the selector-0 set-support probe succeeds on this node...
  HResult probeResult = hr::kOk;  // ...with this success code (kFalse is one too)
};

// One fault on the way between host and camera, at a request number (counted as below).
struct SimScheduledFault {
  enum class Kind : std::uint8_t {
    kLose,              // the camera never sees the request; the host gets `result`
    kCarryOutThenFail,  // the camera carries the request out; the host gets `result`
    kGarble,            // a GET's reply byte `byte` is XORed with `mask` on its way back
    kUnplugAfter,       // the camera is unplugged right after the request
  };
  Kind kind = Kind::kLose;
  std::uint32_t number = 0;  // 1-based
  std::uint32_t count = 1;   // kLose and kCarryOutThenFail: this many requests in a row
  HResult result = hr::kFail;
  std::uint32_t byte = 2;
  std::uint8_t mask = 0xFF;
};

// Request-level fault switches of one capture device.
struct SimRequestFaults {
  // Fail the n-th extension-unit request sent to this device (1-based; 0: never). Counted are
  // the requests that pass the filter's checks; the node probe is not one of them...
  std::uint32_t failRequestNumber = 0;
  // ...and the requests right after it, this many in all (a run of lost requests)...
  std::uint32_t failRequestRun = 1;
  // ...or every request on this selector (-1: none)...
  int failSelector = -1;
  // ...answering this code (a failure code, or a success code other than kOk such as 1).
  HResult failResult = hr::kFail;
  // Unplug the camera after this many requests (0: never): later requests fail with
  // kDeviceNotConnected, the device leaves the enumeration and the device tree.
  std::uint32_t unplugAfterRequests = 0;
  // Garble one byte of the n-th request's reply (1-based; 0: never) on its way to the host: the
  // byte at this offset (2: a register value) is XORed with the mask.
  std::uint32_t corruptReplyNumber = 0;
  std::uint32_t corruptReplyByte = 2;
  std::uint8_t corruptReplyMask = 0xFF;
  // Any number of further faults, for sweeps that combine them.
  std::vector<SimScheduledFault> scheduled;
};

struct SimCaptureDeviceConfig {
  std::u16string devicePath;
  bool failPropertyBag = false;        // BindToStorage fails
  bool failDevicePath = false;         // IPropertyBag::Read fails
  bool failFilter = false;             // BindToObject fails
  bool failControlInterface = false;   // QueryInterface(IKsControl) fails
  bool failTopologyInterface = false;  // QueryInterface(IKsTopologyInfo) fails
  // The filter's topology; by default a camera terminal, a processing unit and the vendor
  // extension unit at node 2 that answers the probe.
  std::vector<SimTopologyNode> topology;
  // The node id at which the camera's extension unit answers vendor requests.
  std::uint32_t extensionNodeId = 2;
  // The camera behind this device; null: a device whose extension unit never answers.
  std::shared_ptr<SimCamera> camera;
  SimRequestFaults faults;
  // A camera device also waits for its own time on the world's clock (UINT64_MAX: never), so
  // that cameras of one world can appear one after another; the later of this and the world's
  // attach time counts.
  std::uint64_t attachAtMs = 0;
};

// One extension-unit request as it crossed the wire.
struct TrafficRecord {
  int device;              // index of the capture device in the world
  std::uint32_t selector;  // Property.Id
  std::uint32_t flags;     // Property.Flags
  std::uint32_t nodeId;    // NodeId
  std::uint32_t propertyLength;
  std::vector<std::uint8_t> sent;     // payload as sent (empty for the probe)
  std::vector<std::uint8_t> replied;  // payload after the call (GET replies)
  HResult result;
};

class SimWorld : public CaptureSystem, public DeviceTree {
 public:
  SimWorld();
  ~SimWorld() override;

  VirtualClock& clock() { return clock_; }

  // Adds a capture device; returns its index. Devices enumerate in the order added. An empty
  // topology is replaced by the default one here, so that a test can still clear it through
  // device() for a filter without nodes.
  int AddCaptureDevice(SimCaptureDeviceConfig config);
  SimCaptureDeviceConfig& device(int index);

  // The camera's node in the device tree (class "Image", hardware ids starting with
  // "USB\VID_5D1A&PID_C03E&REV_0100&MI_00"), present from attachAtMs on the virtual clock
  // until it is unplugged. Never: UINT64_MAX.
  // Devices with a camera belong to it: they enumerate only while it is attached and each
  // leaves the enumeration when its own unplug fault fires. Devices without one are always
  // there. The camera counts as attached while one of its devices is still plugged in; a
  // world without any camera device has no camera node. Default attach time: 0.
  void SetCameraAttachTime(std::uint64_t attachAtMs);
  // Extra device-tree nodes for probe tests: parent index (-1: under the root), class name and
  // hardware-id list (texts separated by '\0'). Returns the node's index, which is also its
  // DeviceNode handle; -1 when parent is no node. An empty text means "no such property".
  int AddTreeNode(int parent, const std::string& className, const std::string& hardwareIds);
  // Removes a node with everything below it: every call on it fails from then on.
  void RemoveTreeNode(int node);
  // The index of the camera's "Image" node (present or not).
  int CameraTreeNode() const;
  bool CameraAttached();
  // Plays Wine's stubbed device-tree walk: LocateRoot answers cr::kCallNotImplemented and
  // GetChild answers cr::kSuccess without writing its output.
  void SetBrokenTreeWalk(bool broken);

  // Result of CreateSystemDeviceEnumerator (default kOk). A failure code hands out nothing; a
  // success code other than kOk hands out the enumerator with that code, as COM may.
  void SetSystemEnumeratorResult(HResult result);

  // Number of capture devices added, and whether one is plugged in and attached now.
  int DeviceCount() const;
  bool DevicePresent(int index);

  // The state of the camera behind capture device `device` (which must have one), taken under
  // the world's lock so that a request still under way cannot tear it.
  SimCameraState CameraState(int device) const;

  // Every request in order. Read it while no other thread sends requests. Logging is on by
  // default; turning it off keeps long runs cheap.
  const std::vector<TrafficRecord>& traffic() const { return traffic_; }
  void ClearTraffic();
  void SetTrafficLogging(bool enabled);

  // The protocol-violation record of the whole world: the node probes that were not exactly
  // the probe, then each camera's own record, each entry with its device index. Read it while no
  // other thread sends requests.
  std::vector<SimViolation> Violations() const;
  void ClearViolations();

  // Rewrites answers for tests that play a camera answering anything at all: called for every
  // request after the filter's checks and the camera answered, with the payload as it will be
  // handed back; returns the result to hand back. Called with the world locked. Null: none.
  using ReplyHook =
      std::function<HResult(int device, const KsPropertyNode& property, std::uint8_t* data,
                            std::uint32_t length, HResult result)>;
  void SetReplyHook(ReplyHook hook);

  // COM-style sessions: begins and ends per thread. Balanced() is true when every begin was
  // ended on the thread that began it and no end came without a begin.
  bool SessionsBalanced() const;
  int OpenSessions() const;

  // CaptureSystem. BeginSession answers kOk on a thread's first begin and kFalse on a nested
  // one, as CoInitialize does; CreateSystemDeviceEnumerator fails on a thread without an open
  // session, as CoCreateInstance does before CoInitialize.
  HResult BeginSession() override;
  void EndSession() override;
  HResult CreateSystemDeviceEnumerator(std::unique_ptr<SystemDeviceEnumerator>* e) override;

  // DeviceTree
  int LocateRoot(DeviceNode* out) override;
  int GetChild(DeviceNode* out, DeviceNode node) override;
  int GetSibling(DeviceNode* out, DeviceNode node) override;
  int GetParent(DeviceNode* out, DeviceNode node) override;
  int GetProperty(DeviceNode node, int property, char* buffer, std::uint32_t* length) override;

  // Called by the simulated filters; public so the adapter classes in the .cpp can reach it.
  // Route serves the filter's own control: the request must name the vendor set, the device's
  // extensionNodeId and the topology flag, with a 32-byte descriptor and Reserved 0. Requests
  // that pass these checks are counted (from 1) for the request faults. RouteToNode serves
  // the control of topology node `node`: a set-support probe there answers from the node's
  // answersProbe and probeResult, and is not counted; it must be exactly property 0 with flags
  // set-support|topology and a null, zero-length buffer, or it is refused and recorded as a
  // violation. Anything else is routed as by Route.
  HResult Route(int device, const KsPropertyNode* property, std::uint32_t propertyLength,
                void* data, std::uint32_t dataLength);
  HResult RouteToNode(int device, std::uint32_t node, const KsPropertyNode* property,
                      std::uint32_t propertyLength, void* data, std::uint32_t dataLength);

 private:
  struct Impl;
  struct DeviceState;
  HResult Dispatch(int device, std::uint32_t node, bool nodeControl, const KsPropertyNode* property,
                   std::uint32_t propertyLength, std::uint8_t* data, std::uint32_t dataLength);
  HResult AnswerProbe(int device, std::uint32_t node, const KsPropertyNode& property,
                      const std::uint8_t* data, std::uint32_t dataLength);
  HResult ServeRequest(DeviceState& state, const KsPropertyNode& property, std::uint8_t* data,
                       std::uint32_t dataLength);
  bool DevicePresentLocked(const DeviceState& state);
  bool CameraAttachedLocked();

  std::unique_ptr<Impl> impl_;
  VirtualClock clock_;
  std::vector<TrafficRecord> traffic_;
  ReplyHook replyHook_;
};

// A plain world for the common case: one write-protected camera of the given configuration,
// attached from the start, at device path kSimCameraPath. An integrated webcam of another make
// (kSimWebcamPath, no vendor extension unit) enumerates before it, so the camera is capture
// device kSimCameraDevice and the webcam device 0.
extern const char16_t kSimCameraPath[];
extern const char16_t kSimWebcamPath[];
constexpr int kSimCameraDevice = 1;
std::unique_ptr<SimWorld> MakeSingleCameraWorld(const SimCameraConfig& camera);

// The world as the platform: its capture system, its device tree and its virtual clock. Callers
// add whatever else their run needs before installing the ports.
inline Ports WorldPorts(SimWorld& world) {
  Ports ports;
  ports.captureSystem = &world;
  ports.deviceTree = &world;
  ports.clock = &world.clock();
  return ports;
}

}  // namespace velkor::sim
