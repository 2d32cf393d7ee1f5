// The front end's world: the plain single-camera world with the chosen faults, probe answer and
// attach time, or several such cameras side by side.
#include "rigs/sim_frontend/sim_world_builder.h"

#include <cstdio>

namespace velkor::sim {
namespace {

void ApplyDeviceOptions(SimCaptureDeviceConfig& device, const SimFrontendOptions& options) {
  device.faults = options.faults;
  for (SimTopologyNode& node : device.topology) {
    node.probeResult = options.probeResult;
  }
}

}  // namespace

std::unique_ptr<SimWorld> BuildSimWorld(const SimFrontendOptions& options) {
  auto world = MakeSingleCameraWorld(options.camera);
  ApplyDeviceOptions(world->device(kSimCameraDevice), options);
  world->SetCameraAttachTime(options.attachAtMs);
  return world;
}

std::u16string SimCameraPath(int number) {
  if (number <= 1) {
    return kSimCameraPath;
  }
  // The instance id's middle part stands for the parent hub port: one per camera.
  char instance[32];
  std::snprintf(instance, sizeof instance, "6&%07x&0&0000",
                0x5aaffc2u + static_cast<unsigned>(number - 1) * 0x10309u);
  std::u16string path = u"\\\\?\\usb#vid_5d1a&pid_c03e&mi_00#";
  for (const char* c = instance; *c != '\0'; ++c) {
    path.push_back(static_cast<char16_t>(*c));
  }
  return path + u"#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";
}

std::unique_ptr<SimWorld> BuildSimWorld(const std::vector<PlacedSimCamera>& cameras) {
  auto world = MakeSingleCameraWorld(cameras.front().options.camera);
  for (std::size_t i = 1; i < cameras.size(); ++i) {
    SimCaptureDeviceConfig device;
    device.camera = std::make_shared<SimCamera>(cameras[i].options.camera, world->clock());
    world->AddCaptureDevice(std::move(device));
  }
  // Each camera keeps its own time to appear: the world's own attach time stays at the start.
  for (std::size_t i = 0; i < cameras.size(); ++i) {
    SimCaptureDeviceConfig& device = world->device(kSimCameraDevice + static_cast<int>(i));
    device.devicePath = cameras[i].path;
    device.attachAtMs = cameras[i].options.attachAtMs;
    ApplyDeviceOptions(device, cameras[i].options);
  }
  return world;
}

}  // namespace velkor::sim
