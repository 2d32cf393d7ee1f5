// The fake camera's world, presence schedule, kernel-streaming proxy answers and records.
#include "rigs/fake_camera/fake_camera_rig.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "rigs/fake_camera/state_report.h"
#include "rigs/sim/sim_camera_state_file.h"

namespace velkor::fakecam {
namespace {

// The camera's extension unit: its property set, and where it sits in the filter's topology
// (a second, foreign extension unit comes before it, so its index is not the first one found).
constexpr Guid kVendorSet = {
    0x5B1E07C4, 0x92D3, 0x4F6A, {0x8E, 0x21, 0x3C, 0x7D, 0x94, 0xA0, 0xB6, 0xF8}};
constexpr std::uint32_t kExtensionNode = 3;

// KSNODETYPE_VIDEO_CAMERA_TERMINAL, _VIDEO_PROCESSING and _VIDEO_STREAMING.
constexpr Guid kCameraTerminal = {
    0xDFF229E1, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
constexpr Guid kProcessingUnit = {
    0xDFF229E5, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
constexpr Guid kStreaming = {
    0xDFF229E4, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (std::uint8_t byte : bytes) {
    text += digits[byte >> 4];
    text += digits[byte & 0x0F];
  }
  return text.empty() ? "-" : text;
}

}  // namespace

std::string RequestLine(int device, std::uint32_t selector, std::uint32_t flags,
                        std::uint32_t nodeId, std::uint32_t propertyLength,
                        const std::vector<std::uint8_t>& sent,
                        const std::vector<std::uint8_t>& replied) {
  char head[128];
  std::snprintf(head, sizeof head, "dev=%d id=%u flags=0x%08x node=%u plen=%u len=%zu", device,
                static_cast<unsigned>(selector), static_cast<unsigned>(flags),
                static_cast<unsigned>(nodeId), static_cast<unsigned>(propertyLength), sent.size());
  return std::string(head) + " sent=" + Hex(sent) + " reply=" + Hex(replied);
}

FakeCameraRig::FakeCameraRig(const FakeCameraConfig& config, Clock& realClock)
    : config_(config),
      realClock_(realClock),
      realOrigin_(realClock.NowMs()),
      world_(std::make_unique<sim::SimWorld>()) {
  world_->clock().Advance(kFirstWalkWorldMs);
  if (config.otherDeviceFirst) {
    // An integrated webcam of another maker: its extension unit serves another property set.
    sim::SimCaptureDeviceConfig webcam;
    webcam.devicePath = sim::kSimWebcamPath;
    webcam.topology = {{kCameraTerminal, false},
                       {kProcessingUnit, false},
                       {kNodeTypeDevSpecific, false},
                       {kStreaming, false}};
    otherDevice_ = world_->AddCaptureDevice(std::move(webcam));
  }
  sim::SimCaptureDeviceConfig camera;
  camera.devicePath = sim::kSimCameraPath;
  camera.topology = {{kCameraTerminal, false},
                     {kProcessingUnit, false},
                     {kNodeTypeDevSpecific, false},  // a unit of the sensor's own maker
                     {kNodeTypeDevSpecific, true},
                     {kStreaming, false}};
  camera.extensionNodeId = kExtensionNode;
  camera.camera = std::make_shared<sim::SimCamera>(config.sim.camera, world_->clock());
  camera.faults = config.sim.faults;
  cameraDevice_ = world_->AddCaptureDevice(std::move(camera));
  world_->SetCameraAttachTime(config.sim.attachAtMs);
  LoadCameraState();
}

void FakeCameraRig::LoadCameraState() {
  const std::string& path = config_.sim.cameraStatePath;
  std::error_code ignored;
  if (path.empty() || !std::filesystem::exists(path, ignored)) {
    return;  // a first run: the camera as the other options describe it
  }
  sim::SimCameraState state;
  sim::SimCamera& camera = *world_->device(cameraDevice_).camera;
  if (!sim::LoadCameraStateFile(path, &state, &cameraStateError_) ||
      !camera.LoadState(state, &cameraStateError_)) {
    // A camera that is not the one the file describes would make the run mean nothing: it
    // never appears, and the state report says why.
    world_->SetCameraAttachTime(sim::kNeverAttached);
    return;
  }
  if (config_.sim.replugged) {
    camera.Replug();
  }
}

std::unique_lock<std::mutex> FakeCameraRig::LockUnlessStuck() {
  std::unique_lock lock(mutex_, std::try_to_lock);
  for (int attempt = 0; attempt < 200 && !lock.owns_lock(); ++attempt) {
    realClock_.SleepMs(5);
    lock.try_lock();
  }
  return lock;
}

bool FakeCameraRig::SaveCameraState(std::string* error) {
  if (config_.sim.cameraStatePath.empty()) {
    return true;
  }
  const std::unique_lock lock = LockUnlessStuck();
  if (!lock.owns_lock()) {
    *error = "a request was in progress at exit";
    return false;
  }
  if (!cameraStateError_.empty()) {
    // The file holds another camera's state, or none that could be read: keep it as it is.
    *error = "not saved: " + cameraStateError_;
    return false;
  }
  return sim::SaveCameraStateFile(config_.sim.cameraStatePath, world_->CameraState(cameraDevice_),
                                  error);
}

FakeCameraRig::~FakeCameraRig() = default;

void FakeCameraRig::CatchUpLocked() {
  const std::uint64_t target = kFirstWalkWorldMs + (realClock_.NowMs() - realOrigin_);
  const std::uint64_t now = world_->clock().NowMs();
  if (target > now) {
    world_->clock().Advance(target - now);
  }
}

int FakeCameraRig::LocateRoot(DeviceNode* out) {
  std::lock_guard lock(mutex_);
  CatchUpLocked();
  ++walks_;
  if (firstWalkWithCamera_ == 0 && world_->CameraAttached()) {
    firstWalkWithCamera_ = walks_;
  }
  return world_->LocateRoot(out);
}

int FakeCameraRig::GetChild(DeviceNode* out, DeviceNode node) {
  std::lock_guard lock(mutex_);
  CatchUpLocked();
  return world_->GetChild(out, node);
}

int FakeCameraRig::GetSibling(DeviceNode* out, DeviceNode node) {
  std::lock_guard lock(mutex_);
  CatchUpLocked();
  return world_->GetSibling(out, node);
}

int FakeCameraRig::GetParent(DeviceNode* out, DeviceNode node) {
  std::lock_guard lock(mutex_);
  CatchUpLocked();
  return world_->GetParent(out, node);
}

int FakeCameraRig::GetProperty(DeviceNode node, int property, char* buffer, std::uint32_t* length) {
  std::lock_guard lock(mutex_);
  CatchUpLocked();
  return world_->GetProperty(node, property, buffer, length);
}

std::vector<CaptureDeviceEntry> FakeCameraRig::CaptureDevices() {
  std::lock_guard lock(mutex_);
  CatchUpLocked();
  std::vector<CaptureDeviceEntry> entries;
  for (int device = 0; device < world_->DeviceCount(); ++device) {
    CaptureDeviceEntry entry;
    entry.path = world_->device(device).devicePath;
    entry.friendlyName = device == cameraDevice_ ? u"USB Video Device" : u"Integrated Webcam";
    // Key names sort in the order the devices were added to the world.
    entry.key = u"velkor-fake-camera-" + std::u16string(1, static_cast<char16_t>(u'a' + device));
    entry.present = world_->DevicePresent(device);
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::vector<bool> FakeCameraRig::Presence() {
  std::lock_guard lock(mutex_);
  CatchUpLocked();
  std::vector<bool> present;
  for (int device = 0; device < world_->DeviceCount(); ++device) {
    present.push_back(world_->DevicePresent(device));
  }
  return present;
}

int FakeCameraRig::DeviceForPath(const std::u16string& path) {
  std::lock_guard lock(mutex_);
  for (int device = 0; device < world_->DeviceCount(); ++device) {
    if (world_->device(device).devicePath == path) {
      return device;
    }
  }
  return -1;
}

HResult FakeCameraRig::NumNodes(int device, std::uint32_t* count) {
  std::lock_guard lock(mutex_);
  if (count == nullptr) {
    return hr::kInvalidArgument;
  }
  if (device < 0 || device >= world_->DeviceCount()) {
    return hr::kDeviceNotConnected;
  }
  *count = static_cast<std::uint32_t>(world_->device(device).topology.size());
  return hr::kOk;
}

HResult FakeCameraRig::NodeType(int device, std::uint32_t node, Guid* type) {
  std::lock_guard lock(mutex_);
  if (type == nullptr) {
    return hr::kInvalidArgument;
  }
  if (device < 0 || device >= world_->DeviceCount()) {
    return hr::kDeviceNotConnected;
  }
  const auto& topology = world_->device(device).topology;
  if (node >= topology.size()) {
    return hr::kInvalidArgument;
  }
  *type = topology[node].type;
  return hr::kOk;
}

bool FakeCameraRig::HasNode(int device, std::uint32_t node) {
  std::lock_guard lock(mutex_);
  return device >= 0 && device < world_->DeviceCount() &&
         node < world_->device(device).topology.size();
}

HResult FakeCameraRig::KsProperty(int device, int node, const void* property,
                                  std::uint32_t propertyLength, void* data,
                                  std::uint32_t dataLength, std::uint32_t* bytesReturned) {
  std::unique_lock lock(mutex_);
  if (bytesReturned != nullptr) {
    *bytesReturned = 0;
  }
  if (device < 0 || device >= world_->DeviceCount()) {
    return hr::kDeviceNotConnected;  // a filter that was never told its device
  }
  CatchUpLocked();
  KsRequestRecord record;
  record.device = device;
  record.propertyLength = propertyLength;
  if (property != nullptr) {
    std::memcpy(&record.property, property,
                std::min<std::size_t>(propertyLength, sizeof(KsPropertyNode)));
  }
  auto* bytes = static_cast<std::uint8_t*>(data);
  if (bytes != nullptr) {
    record.sent.assign(bytes, bytes + dataLength);
  }
  // The world reads a whole descriptor: it gets the zero-padded copy with the length as sent.
  const KsPropertyNode* descriptor = property != nullptr ? &record.property : nullptr;
  const HResult worldResult =
      node < 0 ? world_->Route(device, descriptor, propertyLength, data, dataLength)
               : world_->RouteToNode(device, static_cast<std::uint32_t>(node), descriptor,
                                     propertyLength, data, dataLength);
  const HResult answer = AsKsProxyAnswer(device, node, record.property, dataLength, worldResult);
  if (bytesReturned != nullptr) {
    if (answer == hr::kOk && (record.property.flags & ks::kTypeGet) != 0) {
      *bytesReturned = dataLength;
    } else if (answer == ksproxy::kMoreData || answer == hr::kInsufficientBuffer) {
      *bytesReturned = sim::SelectorPayloadSize(record.property.id);
    }
  }
  if (bytes != nullptr) {
    record.replied.assign(bytes, bytes + dataLength);
  }
  record.result = answer;
  ksRecord_.push_back(std::move(record));
  const std::uint32_t every = config_.pauseEveryRequests;
  if (every != 0 && ksRecord_.size() % every == 0) {
    lock.unlock();
    realClock_.SleepMs(1);
  }
  return answer;
}

HResult FakeCameraRig::AsKsProxyAnswer(int device, int node, const KsPropertyNode& property,
                                       std::uint32_t dataLength, HResult worldResult) const {
  const sim::SimCaptureDeviceConfig& config = world_->device(device);
  const std::uint32_t addressed = node < 0 ? property.nodeId : static_cast<std::uint32_t>(node);
  const bool ourUnit =
      config.camera != nullptr && property.set == kVendorSet && addressed == config.extensionNodeId;
  // A buffer shorter than the control (the simulated unit refuses it as malformed): the proxy
  // answers with the length it needs, as "more data" for no buffer at all and "insufficient
  // buffer" for one that is too short.
  const std::uint32_t length = sim::SelectorPayloadSize(property.id);
  if (worldResult == hr::kInvalidArgument && ourUnit && length != 0 && dataLength < length &&
      (property.flags & ks::kTypeSetSupport) == 0) {
    return dataLength == 0 ? ksproxy::kMoreData : hr::kInsufficientBuffer;
  }
  return worldResult;
}

bool FakeCameraRig::CollectReports(Reports* reports) {
  const std::unique_lock lock = LockUnlessStuck();
  if (!lock.owns_lock()) {
    return false;
  }
  reports->state = StateReportLocked();
  const auto& content = world_->device(cameraDevice_).camera->flash().content();
  reports->flash.assign(content.begin(), content.end());
  reports->ks = KsRecordTextLocked();
  reports->sim = SimRecordTextLocked();
  return true;
}

std::string FakeCameraRig::KsRecordTextLocked() const {
  std::string text;
  for (const KsRequestRecord& r : ksRecord_) {
    const Guid& g = r.property.set;
    char head[96];
    std::snprintf(head, sizeof head,
                  "set={%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X} reserved=%u ",
                  static_cast<unsigned>(g.data1), g.data2, g.data3, g.data4[0], g.data4[1],
                  g.data4[2], g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7],
                  static_cast<unsigned>(r.property.reserved));
    text += head;
    text += RequestLine(r.device, r.property.id, r.property.flags, r.property.nodeId,
                        r.propertyLength, r.sent, r.replied);
    text += '\n';
  }
  return text;
}

std::string FakeCameraRig::SimRecordTextLocked() const {
  std::string text;
  for (const sim::TrafficRecord& r : world_->traffic()) {
    text +=
        RequestLine(r.device, r.selector, r.flags, r.nodeId, r.propertyLength, r.sent, r.replied);
    text += '\n';
  }
  return text;
}

std::string FakeCameraRig::StateReportLocked() {
  StateFacts facts;
  facts.treeWalks = walks_;
  facts.firstWalkWithCamera = firstWalkWithCamera_;
  facts.cameraPresent = world_->DevicePresent(cameraDevice_);
  facts.extensionNode = kExtensionNode;
  for (const KsRequestRecord& r : ksRecord_) {
    if (r.device == cameraDevice_) {
      ++facts.cameraRequests;
    } else if (r.device == otherDevice_) {
      ++facts.otherDeviceRequests;
      if (r.result != hr::kNotFound) {
        ++facts.otherDeviceRequestsServed;
      }
    }
  }
  facts.hasOtherDevice = otherDevice_ >= 0;
  std::string report = WriteStateReport(facts, *world_->device(cameraDevice_).camera);
  if (!cameraStateError_.empty()) {
    report += "camera_state_error=" + cameraStateError_ + "\n";
  }
  return report;
}

}  // namespace velkor::fakecam
