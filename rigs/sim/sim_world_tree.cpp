// The simulated world's device tree: the default machine layout with the camera's node, and
// the DeviceTree port answered from it.
#include <string>

#include "rigs/sim/sim_world_impl.h"

namespace velkor::sim {
int BuildDefaultDeviceTree(SimDeviceTree& tree) {
  using namespace std::string_literals;  // id lists hold zeros: the literal must keep its length
  tree.Add(-1, "Computer", "acpiapic"s);
  const int acpi = tree.Add(-1, "System", "ACPI_HAL\\PNP0C08\0*PNP0C08"s);
  tree.Add(acpi, "Processor", "ACPI\\GenuineIntel_-_Intel64_Family_6\0ACPI\\Processor"s);
  const int pciBus = tree.Add(acpi, "System", "ACPI\\PNP0A08\0*PNP0A08\0*PNP0A03"s);
  tree.Add(pciBus, "System", "PCI\\VEN_8086&DEV_29C0&SUBSYS_11001AF4&REV_00"s);
  tree.Add(pciBus, "Display", "PCI\\VEN_1234&DEV_1111&SUBSYS_11001AF4&REV_02"s);
  tree.Add(pciBus, "Net", "PCI\\VEN_8086&DEV_100E&SUBSYS_11001AF4&REV_03"s);
  const int xhci = tree.Add(pciBus, "USB", "PCI\\VEN_1B36&DEV_000D&SUBSYS_11001AF4&REV_01"s);
  const int rootHub = tree.Add(xhci, "USB", "USB\\ROOT_HUB30&VID1B36&PID000D&REV0001"s);
  const int mouse = tree.Add(rootHub, "HIDClass", "USB\\VID_0627&PID_0001&REV_0000"s);
  tree.Add(mouse, "Mouse", "HID\\VID_0627&PID_0001&REV_0000\0HID\\VID_0627&PID_0001"s);

  // The camera: a composite USB device whose interface 0 is the video function.
  const int composite =
      tree.Add(rootHub, "USB", "USB\\VID_5D1A&PID_C03E&REV_0100\0USB\\VID_5D1A&PID_C03E"s);
  tree.MarkAttachable(composite);
  const int camera = tree.Add(
      composite, "Image", "USB\\VID_5D1A&PID_C03E&REV_0100&MI_00\0USB\\VID_5D1A&PID_C03E&MI_00"s);
  tree.Add(composite, "MEDIA",
           "USB\\VID_5D1A&PID_C03E&REV_0100&MI_02\0USB\\VID_5D1A&PID_C03E&MI_02"s);

  tree.Add(pciBus, "System", "PCI\\VEN_8086&DEV_7000&SUBSYS_11001AF4&REV_00"s);
  const int swd = tree.Add(-1, "System", "ROOT\\SYSTEM"s);
  tree.Add(swd, "SoftwareDevice", "SWD\\GenericRaw\0SWD\\Generic"s);
  return camera;
}

int SimWorld::AddTreeNode(int parent, const std::string& className,
                          const std::string& hardwareIds) {
  std::lock_guard lock(impl_->mutex);
  return impl_->tree.Add(parent, className, hardwareIds);
}

void SimWorld::RemoveTreeNode(int node) {
  std::lock_guard lock(impl_->mutex);
  impl_->tree.Remove(node);
}

int SimWorld::CameraTreeNode() const {
  return impl_->cameraTreeNode;
}

void SimWorld::SetBrokenTreeWalk(bool broken) {
  std::lock_guard lock(impl_->mutex);
  impl_->brokenTreeWalk = broken;
}

int SimWorld::LocateRoot(DeviceNode* out) {
  std::lock_guard lock(impl_->mutex);
  if (impl_->brokenTreeWalk)
    return cr::kCallNotImplemented;
  return impl_->tree.LocateRoot(out);
}

int SimWorld::GetChild(DeviceNode* out, DeviceNode node) {
  std::lock_guard lock(impl_->mutex);
  if (impl_->brokenTreeWalk)
    return cr::kSuccess;  // the stub reports success, writes nothing
  impl_->tree.SetAttachedPresent(CameraAttachedLocked());
  return impl_->tree.GetChild(out, node);
}

int SimWorld::GetSibling(DeviceNode* out, DeviceNode node) {
  std::lock_guard lock(impl_->mutex);
  impl_->tree.SetAttachedPresent(CameraAttachedLocked());
  return impl_->tree.GetSibling(out, node);
}

int SimWorld::GetParent(DeviceNode* out, DeviceNode node) {
  std::lock_guard lock(impl_->mutex);
  impl_->tree.SetAttachedPresent(CameraAttachedLocked());
  return impl_->tree.GetParent(out, node);
}

int SimWorld::GetProperty(DeviceNode node, int property, char* buffer, std::uint32_t* length) {
  std::lock_guard lock(impl_->mutex);
  impl_->tree.SetAttachedPresent(CameraAttachedLocked());
  return impl_->tree.GetProperty(node, property, buffer, length);
}

}  // namespace velkor::sim
