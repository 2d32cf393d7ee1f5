// The simulated world: its capture devices, COM-style sessions, and the routing of every
// property request through the filter's checks and the fault switches to the camera.
#include "rigs/sim/sim_world.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "rigs/sim/sim_capture_objects.h"
#include "rigs/sim/sim_world_impl.h"

namespace velkor::sim {
namespace {

// The vendor extension unit's property set {5B1E07C4-92D3-4F6A-8E21-3C7D94A0B6F8}.
constexpr Guid kVendorSet = {
    0x5B1E07C4, 0x92D3, 0x4F6A, {0x8E, 0x21, 0x3C, 0x7D, 0x94, 0xA0, 0xB6, 0xF8}};

// CO_E_NOTINITIALIZED: COM was not begun on the calling thread.
constexpr HResult kNotInitialized = static_cast<HResult>(0x800401F0u);

// KSNODETYPE_VIDEO_CAMERA_TERMINAL and KSNODETYPE_VIDEO_PROCESSING.
constexpr Guid kNodeTypeCameraTerminal = {
    0xDFF229E1, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
constexpr Guid kNodeTypeProcessing = {
    0xDFF229E5, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};

std::vector<SimTopologyNode> DefaultTopology() {
  return {
      {kNodeTypeCameraTerminal, false}, {kNodeTypeProcessing, false}, {kNodeTypeDevSpecific, true}};
}

}  // namespace

const char16_t kSimCameraPath[] =
    u"\\\\?\\usb#vid_5d1a&pid_c03e&mi_00#6&5aaffc2&0&0000#"
    u"{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";
const char16_t kSimWebcamPath[] =
    u"\\\\?\\usb#vid_0c45&pid_6a10&mi_00#6&1f2b3c4&0&0000#"
    u"{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";

SimWorld::SimWorld() : impl_(std::make_unique<Impl>()) {
  impl_->cameraTreeNode = BuildDefaultDeviceTree(impl_->tree);
}

SimWorld::~SimWorld() = default;

int SimWorld::AddCaptureDevice(SimCaptureDeviceConfig config) {
  if (config.topology.empty())
    config.topology = DefaultTopology();
  std::lock_guard lock(impl_->mutex);
  impl_->devices.push_back(DeviceState{std::move(config)});
  return static_cast<int>(impl_->devices.size() - 1);
}

SimCaptureDeviceConfig& SimWorld::device(int index) {
  return impl_->devices.at(static_cast<std::size_t>(index)).config;
}

int SimWorld::DeviceCount() const {
  std::lock_guard lock(impl_->mutex);
  return static_cast<int>(impl_->devices.size());
}

bool SimWorld::DevicePresent(int index) {
  std::lock_guard lock(impl_->mutex);
  if (index < 0 || static_cast<std::size_t>(index) >= impl_->devices.size())
    return false;
  return DevicePresentLocked(impl_->devices[static_cast<std::size_t>(index)]);
}

bool SimWorld::DevicePresentLocked(const DeviceState& state) {
  if (!state.config.camera)
    return true;  // not the camera: always there
  return !state.unplugged &&
         clock_.NowMs() >= std::max(impl_->cameraAttachAtMs, state.config.attachAtMs);
}

void SimWorld::SetCameraAttachTime(std::uint64_t attachAtMs) {
  std::lock_guard lock(impl_->mutex);
  impl_->cameraAttachAtMs = attachAtMs;
}

bool SimWorld::CameraAttached() {
  std::lock_guard lock(impl_->mutex);
  return CameraAttachedLocked();
}

bool SimWorld::CameraAttachedLocked() {
  for (const DeviceState& state : impl_->devices) {
    if (state.config.camera && DevicePresentLocked(state))
      return true;
  }
  return false;
}

void SimWorld::SetSystemEnumeratorResult(HResult result) {
  std::lock_guard lock(impl_->mutex);
  impl_->systemEnumeratorResult = result;
}

void SimWorld::SetReplyHook(ReplyHook hook) {
  std::lock_guard lock(impl_->mutex);
  replyHook_ = std::move(hook);
}

SimCameraState SimWorld::CameraState(int device) const {
  std::lock_guard lock(impl_->mutex);
  return impl_->devices.at(static_cast<std::size_t>(device)).config.camera->SaveState();
}

void SimWorld::ClearTraffic() {
  std::lock_guard lock(impl_->mutex);
  traffic_.clear();
}

void SimWorld::SetTrafficLogging(bool enabled) {
  std::lock_guard lock(impl_->mutex);
  impl_->trafficLogging = enabled;
}

HResult SimWorld::BeginSession() {
  std::lock_guard lock(impl_->mutex);
  // Like CoInitialize: the first begin on a thread answers S_OK, nested ones S_FALSE.
  return impl_->sessions[std::this_thread::get_id()]++ == 0 ? hr::kOk : hr::kFalse;
}

void SimWorld::EndSession() {
  std::lock_guard lock(impl_->mutex);
  const auto open = impl_->sessions.find(std::this_thread::get_id());
  if (open == impl_->sessions.end()) {
    impl_->endWithoutBegin = true;
    return;
  }
  if (--open->second == 0)
    impl_->sessions.erase(open);
}

bool SimWorld::SessionsBalanced() const {
  std::lock_guard lock(impl_->mutex);
  return !impl_->endWithoutBegin && impl_->sessions.empty();
}

int SimWorld::OpenSessions() const {
  std::lock_guard lock(impl_->mutex);
  int open = 0;
  for (const auto& [thread, count] : impl_->sessions)
    open += count;
  return open;
}

HResult SimWorld::CreateSystemDeviceEnumerator(std::unique_ptr<SystemDeviceEnumerator>* e) {
  if (e == nullptr)
    return hr::kInvalidArgument;
  HResult result;
  {
    std::lock_guard lock(impl_->mutex);
    // COM refuses to create objects on a thread that has not begun a session.
    if (impl_->sessions.count(std::this_thread::get_id()) == 0)
      return kNotInitialized;
    result = impl_->systemEnumeratorResult;
  }
  if (hr::Failed(result))
    return result;
  *e = MakeSimSystemDeviceEnumerator(this);
  return result;
}

HResult SimWorld::Route(int device, const KsPropertyNode* property, std::uint32_t propertyLength,
                        void* data, std::uint32_t dataLength) {
  return Dispatch(device, 0, false, property, propertyLength, static_cast<std::uint8_t*>(data),
                  dataLength);
}

HResult SimWorld::RouteToNode(int device, std::uint32_t node, const KsPropertyNode* property,
                              std::uint32_t propertyLength, void* data, std::uint32_t dataLength) {
  return Dispatch(device, node, true, property, propertyLength, static_cast<std::uint8_t*>(data),
                  dataLength);
}

HResult SimWorld::Dispatch(int device, std::uint32_t node, bool nodeControl,
                           const KsPropertyNode* property, std::uint32_t propertyLength,
                           std::uint8_t* data, std::uint32_t dataLength) {
  std::lock_guard lock(impl_->mutex);
  if (device < 0 || static_cast<std::size_t>(device) >= impl_->devices.size()) {
    return hr::kInvalidArgument;
  }
  DeviceState& state = impl_->devices[static_cast<std::size_t>(device)];
  const SimCaptureDeviceConfig& config = state.config;
  const bool setSupport = property != nullptr && (property->flags & ks::kTypeSetSupport) != 0;
  std::vector<std::uint8_t> sent;
  if (impl_->trafficLogging && data != nullptr)
    sent.assign(data, data + dataLength);

  // The checks a kernel-streaming filter makes before the unit sees anything.
  HResult result = hr::kOk;
  if (!DevicePresentLocked(state)) {
    result = hr::kDeviceNotConnected;
  } else if (property == nullptr || propertyLength != sizeof(KsPropertyNode) ||
             (data == nullptr && dataLength != 0)) {
    result = hr::kInvalidArgument;
  } else if (property->set != kVendorSet || (property->flags & ks::kTypeTopology) == 0) {
    result = hr::kNotFound;  // the set is not served here
  } else if (property->reserved != 0) {
    result = hr::kInvalidArgument;
  } else if (nodeControl && (property->nodeId != node || node >= config.topology.size())) {
    result = hr::kNotFound;
  } else if (nodeControl && setSupport) {
    // A node's own control answers the set-support probe from the topology alone.
    result = AnswerProbe(device, node, *property, data, dataLength);
  } else if (property->nodeId != config.extensionNodeId) {
    result = hr::kNotFound;  // no extension unit at that node
  } else {
    result = ServeRequest(state, *property, data, dataLength);
  }
  if (replyHook_ && property != nullptr) {
    result = replyHook_(device, *property, data, dataLength, result);
  }

  if (impl_->trafficLogging) {
    TrafficRecord record{};
    record.device = device;
    if (property != nullptr) {
      record.selector = property->id;
      record.flags = property->flags;
      record.nodeId = property->nodeId;
    }
    record.propertyLength = propertyLength;
    record.result = result;
    record.sent = std::move(sent);
    if (data != nullptr) {
      record.replied.assign(data, data + dataLength);
    }
    traffic_.push_back(std::move(record));
  }
  return result;
}

HResult SimWorld::AnswerProbe(int device, std::uint32_t node, const KsPropertyNode& property,
                              const std::uint8_t* data, std::uint32_t dataLength) {
  const SimTopologyNode& topologyNode =
      impl_->devices[static_cast<std::size_t>(device)].config.topology[node];
  constexpr std::uint32_t kProbeFlags = ks::kTypeSetSupport | ks::kTypeTopology;
  if (property.id != 0 || property.flags != kProbeFlags || data != nullptr || dataLength != 0) {
    char state[96];
    std::snprintf(state, sizeof state, "node %u probed with id %u, flags 0x%08X, %s buffer of %u",
                  node, property.id, property.flags, data != nullptr ? "a" : "no", dataLength);
    SimViolation violation;
    violation.kind = SimViolationKind::kMalformedNodeProbe;
    violation.reg = static_cast<std::uint16_t>(node);
    violation.value = static_cast<std::uint8_t>(property.id);
    violation.state = state;
    violation.device = device;
    impl_->probeViolations.push_back(std::move(violation));
    return property.id != 0 ? hr::kNotFound : hr::kInvalidArgument;
  }
  return topologyNode.answersProbe ? topologyNode.probeResult : hr::kNotFound;
}

std::vector<SimViolation> SimWorld::Violations() const {
  std::lock_guard lock(impl_->mutex);
  std::vector<SimViolation> all = impl_->probeViolations;
  std::vector<const SimCamera*> seen;
  for (std::size_t i = 0; i < impl_->devices.size(); ++i) {
    const SimCamera* camera = impl_->devices[i].config.camera.get();
    if (camera == nullptr || std::find(seen.begin(), seen.end(), camera) != seen.end()) {
      continue;  // a camera shared by two devices is reported once
    }
    seen.push_back(camera);
    for (SimViolation violation : camera->violations()) {
      violation.device = static_cast<int>(i);
      all.push_back(std::move(violation));
    }
  }
  return all;
}

void SimWorld::ClearViolations() {
  std::lock_guard lock(impl_->mutex);
  impl_->probeViolations.clear();
  for (DeviceState& state : impl_->devices) {
    if (state.config.camera) {
      state.config.camera->ClearViolations();
    }
  }
}

HResult SimWorld::ServeRequest(DeviceState& state, const KsPropertyNode& property,
                               std::uint8_t* data, std::uint32_t dataLength) {
  const SimRequestFaults& faults = state.config.faults;
  const std::uint32_t number = ++state.requests;
  using Scheduled = SimScheduledFault::Kind;
  auto covers = [number](const SimScheduledFault& fault) {
    return number >= fault.number && number - fault.number < fault.count;
  };
  const SimScheduledFault* lost = nullptr;
  const SimScheduledFault* carriedOutThenFailed = nullptr;
  for (const SimScheduledFault& fault : faults.scheduled) {
    if (fault.kind == Scheduled::kLose && covers(fault)) {
      lost = lost != nullptr ? lost : &fault;
    } else if (fault.kind == Scheduled::kCarryOutThenFail && covers(fault)) {
      carriedOutThenFailed = carriedOutThenFailed != nullptr ? carriedOutThenFailed : &fault;
    }
  }
  const bool get = (property.flags & 0x1) != 0;
  HResult result;
  if ((faults.failRequestNumber != 0 && number >= faults.failRequestNumber &&
       number - faults.failRequestNumber < faults.failRequestRun) ||
      (faults.failSelector >= 0 &&
       property.id == static_cast<std::uint32_t>(faults.failSelector))) {
    result = faults.failResult;  // the request is lost: the camera never sees it
  } else if (lost != nullptr) {
    result = lost->result;
  } else if (!state.config.camera) {
    result = hr::kNotFound;  // a unit of another make does not know the vendor set
  } else {
    result =
        state.config.camera->HandleRequest(property.id, property.flags, data, dataLength, number);
    if (get && number == faults.corruptReplyNumber && data != nullptr &&
        faults.corruptReplyByte < dataLength) {
      data[faults.corruptReplyByte] ^= faults.corruptReplyMask;
    }
    for (const SimScheduledFault& fault : faults.scheduled) {
      if (fault.kind == Scheduled::kGarble && get && fault.number == number && data != nullptr &&
          fault.byte < dataLength) {
        data[fault.byte] ^= fault.mask;
      }
    }
    if (carriedOutThenFailed != nullptr) {
      result = carriedOutThenFailed->result;  // done, but the host is told it failed
    }
  }
  bool unplug = faults.unplugAfterRequests != 0 && number >= faults.unplugAfterRequests;
  for (const SimScheduledFault& fault : faults.scheduled) {
    unplug = unplug || (fault.kind == Scheduled::kUnplugAfter && number >= fault.number);
  }
  if (unplug) {
    state.unplugged = true;
  }
  return result;
}

std::unique_ptr<SimWorld> MakeSingleCameraWorld(const SimCameraConfig& camera) {
  auto world = std::make_unique<SimWorld>();

  // An integrated webcam of another make: its extension unit knows nothing of the vendor set.
  SimCaptureDeviceConfig webcam;
  webcam.devicePath = kSimWebcamPath;
  webcam.topology = {{kNodeTypeCameraTerminal, false},
                     {kNodeTypeProcessing, false},
                     {kNodeTypeDevSpecific, false}};
  world->AddCaptureDevice(std::move(webcam));

  SimCaptureDeviceConfig target;
  target.devicePath = kSimCameraPath;
  target.camera = std::make_shared<SimCamera>(camera, world->clock());
  world->AddCaptureDevice(std::move(target));
  return world;
}

}  // namespace velkor::sim
