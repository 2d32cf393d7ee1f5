// The simulated capture stack's objects: each answers its COM counterpart's calls from the
// configuration of one capture device and sends property requests to the world.
#include "rigs/sim/sim_capture_objects.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "rigs/sim/sim_world.h"

namespace velkor::sim {
namespace {

// As the kernel-streaming proxy counts them: a GET returns the control's bytes, a SET or a
// support query returns none.
std::uint32_t ReturnedLength(HResult result, const KsPropertyNode* property,
                             std::uint32_t dataLength) {
  const bool get = property != nullptr && (property->flags & ks::kTypeGet) != 0;
  return result == hr::kOk && get ? dataLength : 0;
}

class SimFilterControl : public KsControl {
 public:
  SimFilterControl(SimWorld* world, int device) : world_(world), device_(device) {}

  HResult KsProperty(const KsPropertyNode* property, std::uint32_t propertyLength, void* data,
                     std::uint32_t dataLength, std::uint32_t* bytesReturned) override {
    const HResult result = world_->Route(device_, property, propertyLength, data, dataLength);
    if (bytesReturned != nullptr)
      *bytesReturned = ReturnedLength(result, property, dataLength);
    return result;
  }

 private:
  SimWorld* world_;
  int device_;
};

class SimNodeControl : public KsControl {
 public:
  SimNodeControl(SimWorld* world, int device, std::uint32_t node)
      : world_(world), device_(device), node_(node) {}

  HResult KsProperty(const KsPropertyNode* property, std::uint32_t propertyLength, void* data,
                     std::uint32_t dataLength, std::uint32_t* bytesReturned) override {
    const HResult result =
        world_->RouteToNode(device_, node_, property, propertyLength, data, dataLength);
    if (bytesReturned != nullptr)
      *bytesReturned = ReturnedLength(result, property, dataLength);
    return result;
  }

 private:
  SimWorld* world_;
  int device_;
  std::uint32_t node_;
};

class SimTopology : public KsTopology {
 public:
  SimTopology(SimWorld* world, int device) : world_(world), device_(device) {}

  HResult NumNodes(std::uint32_t* count) override {
    if (count == nullptr)
      return hr::kInvalidArgument;
    *count = static_cast<std::uint32_t>(nodes().size());
    return hr::kOk;
  }

  HResult NodeType(std::uint32_t node, Guid* type) override {
    if (type == nullptr || node >= nodes().size())
      return hr::kInvalidArgument;
    *type = nodes()[node].type;
    return hr::kOk;
  }

  HResult CreateNodeControl(std::uint32_t node, std::unique_ptr<KsControl>* control) override {
    if (control == nullptr || node >= nodes().size())
      return hr::kInvalidArgument;
    *control = std::make_unique<SimNodeControl>(world_, device_, node);
    return hr::kOk;
  }

 private:
  const std::vector<SimTopologyNode>& nodes() const { return world_->device(device_).topology; }

  SimWorld* world_;
  int device_;
};

class SimFilter : public CaptureFilter {
 public:
  SimFilter(SimWorld* world, int device) : world_(world), device_(device) {}

  HResult QueryControl(std::unique_ptr<KsControl>* control) override {
    if (control == nullptr)
      return hr::kInvalidArgument;
    if (world_->device(device_).failControlInterface)
      return hr::kNoInterface;
    *control = std::make_unique<SimFilterControl>(world_, device_);
    return hr::kOk;
  }

  HResult QueryTopology(std::unique_ptr<KsTopology>* topology) override {
    if (topology == nullptr)
      return hr::kInvalidArgument;
    if (world_->device(device_).failTopologyInterface)
      return hr::kNoInterface;
    *topology = std::make_unique<SimTopology>(world_, device_);
    return hr::kOk;
  }

 private:
  SimWorld* world_;
  int device_;
};

class SimPropertyBag : public PropertyBag {
 public:
  SimPropertyBag(SimWorld* world, int device) : world_(world), device_(device) {}

  HResult ReadDevicePath(std::u16string* path) override {
    if (path == nullptr)
      return hr::kInvalidArgument;
    const SimCaptureDeviceConfig& config = world_->device(device_);
    if (config.failDevicePath)
      return hr::kFail;
    *path = config.devicePath;
    return hr::kOk;
  }

 private:
  SimWorld* world_;
  int device_;
};

class SimMoniker : public CaptureDevice {
 public:
  SimMoniker(SimWorld* world, int device) : world_(world), device_(device) {}

  HResult BindToStorage(std::unique_ptr<PropertyBag>* bag) override {
    if (bag == nullptr)
      return hr::kInvalidArgument;
    if (world_->device(device_).failPropertyBag)
      return hr::kFail;
    *bag = std::make_unique<SimPropertyBag>(world_, device_);
    return hr::kOk;
  }

  HResult BindToObject(std::unique_ptr<CaptureFilter>* filter) override {
    if (filter == nullptr)
      return hr::kInvalidArgument;
    if (world_->device(device_).failFilter)
      return hr::kFail;
    // The moniker outlives an unplug; the filter of a device that is gone cannot be built.
    if (!world_->DevicePresent(device_))
      return hr::kDeviceNotConnected;
    *filter = std::make_unique<SimFilter>(world_, device_);
    return hr::kOk;
  }

 private:
  SimWorld* world_;
  int device_;
};

// Lists the devices present when it was created, as the platform's enumerator snapshots them.
class SimDeviceEnumerator : public CaptureDeviceEnumerator {
 public:
  SimDeviceEnumerator(SimWorld* world, std::vector<int> devices)
      : world_(world), devices_(std::move(devices)) {}

  HResult Reset() override {
    next_ = 0;
    return hr::kOk;
  }

  HResult Next(std::unique_ptr<CaptureDevice>* device) override {
    if (device == nullptr)
      return hr::kInvalidArgument;
    if (next_ >= devices_.size())
      return hr::kFalse;
    *device = std::make_unique<SimMoniker>(world_, devices_[next_++]);
    return hr::kOk;
  }

 private:
  SimWorld* world_;
  std::vector<int> devices_;
  std::size_t next_ = 0;
};

class SimSystemEnumerator : public SystemDeviceEnumerator {
 public:
  explicit SimSystemEnumerator(SimWorld* world) : world_(world) {}

  HResult CreateVideoInputEnumerator(std::unique_ptr<CaptureDeviceEnumerator>* e) override {
    if (e == nullptr)
      return hr::kInvalidArgument;
    std::vector<int> present;
    for (int i = 0; i < world_->DeviceCount(); ++i) {
      if (world_->DevicePresent(i))
        present.push_back(i);
    }
    // An empty category answers S_FALSE and hands out no enumerator.
    if (present.empty())
      return hr::kFalse;
    *e = std::make_unique<SimDeviceEnumerator>(world_, std::move(present));
    return hr::kOk;
  }

 private:
  SimWorld* world_;
};

}  // namespace

std::unique_ptr<SystemDeviceEnumerator> MakeSimSystemDeviceEnumerator(SimWorld* world) {
  return std::make_unique<SimSystemEnumerator>(world);
}

}  // namespace velkor::sim
