// A sysfs tree in a temporary directory, laid out as the kernel lays out USB devices,
// interfaces and video4linux nodes (real directories reached through symbolic links).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace velkor::linux_platform::testing {

class FakeSysfs {
 public:
  FakeSysfs() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velkor-sysfs-XXXXXX").string();
    root_ = mkdtemp(pattern.data());
    std::filesystem::create_directories(root_ / "bus/usb/devices");
    std::filesystem::create_directories(root_ / "class/video4linux");
    std::filesystem::create_directories(root_ / "devices/pci0000:00");
  }
  ~FakeSysfs() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  FakeSysfs(const FakeSysfs&) = delete;
  FakeSysfs& operator=(const FakeSysfs&) = delete;

  std::string root() const { return root_.string(); }

  // A USB device below parent ("" for a root hub on the PCI host). Ids as sysfs writes them.
  void AddDevice(const std::string& name, const std::string& parent, const std::string& vendor,
                 const std::string& product, const std::string& bcd,
                 const std::vector<std::uint8_t>& descriptors = {}) {
    std::filesystem::path dir =
        (parent.empty() ? root_ / "devices/pci0000:00" : Location(parent)) / name;
    std::filesystem::create_directories(dir);
    Write(dir / "idVendor", vendor + "\n");
    Write(dir / "idProduct", product + "\n");
    Write(dir / "bcdDevice", bcd + "\n");
    Write(dir / "bConfigurationValue", "1\n");
    std::ofstream(dir / "descriptors", std::ios::binary)
        .write(reinterpret_cast<const char*>(descriptors.data()),
               static_cast<std::streamsize>(descriptors.size()));
    Link(name, dir);
  }

  void AddInterface(const std::string& name, const std::string& device, const std::string& number,
                    const std::string& interfaceClass, const std::string& subclass) {
    std::filesystem::path dir = Location(device) / name;
    std::filesystem::create_directories(dir);
    Write(dir / "bInterfaceNumber", number + "\n");
    Write(dir / "bInterfaceClass", interfaceClass + "\n");
    Write(dir / "bInterfaceSubClass", subclass + "\n");
    Link(name, dir);
  }

  // A video node as uvcvideo registers it at the end of its probe: <interface>/video4linux/<node>
  // with a device link back to the interface, and /sys/class/video4linux/<node> linking to it.
  void AddVideoNode(const std::string& node, const std::string& interfaceName) {
    std::filesystem::path dir = Location(interfaceName) / "video4linux" / node;
    std::filesystem::create_directories(dir);
    std::filesystem::create_directory_symlink(Location(interfaceName), dir / "device");
    std::filesystem::create_directory_symlink(dir, root_ / "class/video4linux" / node);
  }

  // Removes a device or interface the way an unplug does: its link, its directory, and the
  // class links of the video nodes below it.
  void Remove(const std::string& name) {
    std::filesystem::path dir = Location(name);
    std::filesystem::remove(root_ / "bus/usb/devices" / name);
    for (const auto& entry : std::filesystem::directory_iterator(root_ / "class/video4linux")) {
      const std::string target = std::filesystem::read_symlink(entry.path()).string();
      if (target.rfind(dir.string() + "/", 0) == 0) {
        std::filesystem::remove(entry.path());
      }
    }
    std::filesystem::remove_all(dir);
  }

  void WriteAttribute(const std::string& name, const std::string& attribute,
                      const std::string& text) {
    Write(Location(name) / attribute, text);
  }

  std::filesystem::path Location(const std::string& name) const {
    return std::filesystem::canonical(root_ / "bus/usb/devices" / name);
  }

 private:
  static void Write(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file) << text;
  }
  void Link(const std::string& name, const std::filesystem::path& dir) {
    std::filesystem::create_directory_symlink(dir, root_ / "bus/usb/devices" / name);
  }

  std::filesystem::path root_;
};

}  // namespace velkor::linux_platform::testing
