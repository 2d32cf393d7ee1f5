// Decorators for each capture-system object down to the kernel-streaming controls. Only the
// controls do anything; the other wrappers exist to hand wrapped controls out.
#include "service/request_tap.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace velkor::tool {

namespace {

class TappedControl : public KsControl {
 public:
  TappedControl(std::unique_ptr<KsControl> inner, RequestTap& tap)
      : inner_(std::move(inner)), tap_(tap) {}
  HResult KsProperty(const KsPropertyNode* property, std::uint32_t propertyLength, void* data,
                     std::uint32_t dataLength, std::uint32_t* bytesReturned) override {
    return tap_.Forward(*inner_, property, propertyLength, data, dataLength, bytesReturned);
  }

 private:
  std::unique_ptr<KsControl> inner_;
  RequestTap& tap_;
};

void Wrap(std::unique_ptr<KsControl>* control, RequestTap& tap) {
  if (*control != nullptr) {
    *control = std::make_unique<TappedControl>(std::move(*control), tap);
  }
}

class TappedTopology : public KsTopology {
 public:
  TappedTopology(std::unique_ptr<KsTopology> inner, RequestTap& tap)
      : inner_(std::move(inner)), tap_(tap) {}
  HResult NumNodes(std::uint32_t* count) override { return inner_->NumNodes(count); }
  HResult NodeType(std::uint32_t node, Guid* type) override { return inner_->NodeType(node, type); }
  HResult CreateNodeControl(std::uint32_t node, std::unique_ptr<KsControl>* control) override {
    const HResult result = inner_->CreateNodeControl(node, control);
    Wrap(control, tap_);
    return result;
  }

 private:
  std::unique_ptr<KsTopology> inner_;
  RequestTap& tap_;
};

class TappedFilter : public CaptureFilter {
 public:
  TappedFilter(std::unique_ptr<CaptureFilter> inner, RequestTap& tap)
      : inner_(std::move(inner)), tap_(tap) {}
  HResult QueryControl(std::unique_ptr<KsControl>* control) override {
    const HResult result = inner_->QueryControl(control);
    Wrap(control, tap_);
    return result;
  }
  HResult QueryTopology(std::unique_ptr<KsTopology>* topology) override {
    const HResult result = inner_->QueryTopology(topology);
    if (*topology != nullptr) {
      *topology = std::make_unique<TappedTopology>(std::move(*topology), tap_);
    }
    return result;
  }

 private:
  std::unique_ptr<CaptureFilter> inner_;
  RequestTap& tap_;
};

class TappedDevice : public CaptureDevice {
 public:
  TappedDevice(std::unique_ptr<CaptureDevice> inner, RequestTap& tap)
      : inner_(std::move(inner)), tap_(tap) {}
  HResult BindToStorage(std::unique_ptr<PropertyBag>* bag) override {
    return inner_->BindToStorage(bag);
  }
  HResult BindToObject(std::unique_ptr<CaptureFilter>* filter) override {
    const HResult result = inner_->BindToObject(filter);
    if (*filter != nullptr) {
      *filter = std::make_unique<TappedFilter>(std::move(*filter), tap_);
    }
    return result;
  }

 private:
  std::unique_ptr<CaptureDevice> inner_;
  RequestTap& tap_;
};

class TappedDeviceEnumerator : public CaptureDeviceEnumerator {
 public:
  TappedDeviceEnumerator(std::unique_ptr<CaptureDeviceEnumerator> inner, RequestTap& tap)
      : inner_(std::move(inner)), tap_(tap) {}
  HResult Reset() override { return inner_->Reset(); }
  HResult Next(std::unique_ptr<CaptureDevice>* device) override {
    const HResult result = inner_->Next(device);
    if (*device != nullptr) {
      *device = std::make_unique<TappedDevice>(std::move(*device), tap_);
    }
    return result;
  }

 private:
  std::unique_ptr<CaptureDeviceEnumerator> inner_;
  RequestTap& tap_;
};

class TappedSystemEnumerator : public SystemDeviceEnumerator {
 public:
  TappedSystemEnumerator(std::unique_ptr<SystemDeviceEnumerator> inner, RequestTap& tap)
      : inner_(std::move(inner)), tap_(tap) {}
  HResult CreateVideoInputEnumerator(std::unique_ptr<CaptureDeviceEnumerator>* e) override {
    const HResult result = inner_->CreateVideoInputEnumerator(e);
    if (*e != nullptr) {
      *e = std::make_unique<TappedDeviceEnumerator>(std::move(*e), tap_);
    }
    return result;
  }

 private:
  std::unique_ptr<SystemDeviceEnumerator> inner_;
  RequestTap& tap_;
};

class TappedCaptureSystem : public CaptureSystem {
 public:
  TappedCaptureSystem(CaptureSystem& inner, RequestTap& tap) : inner_(inner), tap_(tap) {}
  HResult BeginSession() override { return inner_.BeginSession(); }
  void EndSession() override { inner_.EndSession(); }
  HResult CreateSystemDeviceEnumerator(std::unique_ptr<SystemDeviceEnumerator>* e) override {
    const HResult result = inner_.CreateSystemDeviceEnumerator(e);
    if (*e != nullptr) {
      *e = std::make_unique<TappedSystemEnumerator>(std::move(*e), tap_);
    }
    return result;
  }

 private:
  CaptureSystem& inner_;
  RequestTap& tap_;
};

std::string Hex(const void* data, std::uint32_t length) {
  std::string text;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  char piece[4];
  for (std::uint32_t i = 0; i < length && bytes != nullptr; ++i) {
    std::snprintf(piece, sizeof(piece), i == 0 ? "%02x" : " %02x", bytes[i]);
    text += piece;
  }
  return text;
}

}  // namespace

std::unique_ptr<CaptureSystem> TapCaptureSystem(CaptureSystem& inner, RequestTap& tap) {
  return std::make_unique<TappedCaptureSystem>(inner, tap);
}

HResult RequestTap::Forward(KsControl& control, const KsPropertyNode* property,
                            std::uint32_t length, void* data, std::uint32_t dataLength,
                            std::uint32_t* bytesReturned) {
  if (latencyUs_ != 0) {
    // By default a spin on the steady clock: a sleep of a hundred microseconds overshoots by as
    // much again on a loaded machine, and the latency is there to model the bus exactly. A
    // sleeping latency ends no earlier than its time (the spin takes what is left).
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(latencyUs_);
    if (latencySleeps_) {
      std::this_thread::sleep_until(until);
    }
    while (std::chrono::steady_clock::now() < until) {
    }
  }
  const HResult result = control.KsProperty(property, length, data, dataLength, bytesReturned);
  ++count_;
  if (log_ != nullptr && log_->tracesRequests()) {
    Trace(property, data, dataLength, result);
  }
  if (observer_) {
    observer_(count_);
  }
  return result;
}

void RequestTap::Trace(const KsPropertyNode* property, const void* data, std::uint32_t dataLength,
                       HResult result) {
  char head[128];
  if (property == nullptr) {
    std::snprintf(head, sizeof(head), "request %llu: no descriptor",
                  static_cast<unsigned long long>(count_));
  } else {
    const char* kind = (property->flags & ks::kTypeSetSupport) != 0 ? "PROBE"
                       : (property->flags & ks::kTypeSet) != 0      ? "SET"
                       : (property->flags & ks::kTypeGet) != 0      ? "GET"
                                                                    : "?";
    std::snprintf(head, sizeof(head), "request %llu: %s selector %u node %u",
                  static_cast<unsigned long long>(count_), kind,
                  static_cast<unsigned>(property->id), static_cast<unsigned>(property->nodeId));
  }
  char tail[32];
  std::snprintf(tail, sizeof(tail), " -> 0x%08x", static_cast<unsigned>(result));
  log_->Line(std::string(head) + " [" + Hex(data, dataLength) + "]" + tail);
}

}  // namespace velkor::tool
