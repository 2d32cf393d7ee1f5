// Enumeration through the capture-system port, and the camera's facts through the library.
#include "service/camera_catalog.h"

#include <cstdio>
#include <memory>

#include "access/access_calls.h"
#include "access/chip_table.h"
#include "access/device.h"
#include "access/flash_status.h"
#include "access/serial_flash.h"
#include "app/target_devices.h"
#include "platform/ports.h"
#include "transport/bound_device.h"
#include "transport/extension_unit.h"

namespace velkor::tool {

namespace {

constexpr std::uint16_t kRegPinLevel = 0x1006;
constexpr std::uint16_t kRegPinEnable = 0x1007;

std::string Narrow(const std::u16string& wide) {
  std::string text(wide.size() + 1, '\0');
  app::NarrowPath(wide.c_str(), text.data(), static_cast<int>(text.size()));
  text.resize(std::char_traits<char>::length(text.c_str()));
  return text;
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return text;
}

// Binds the device's filter where the transport looks for it, asks for the extension unit's
// node, and lets the filter go again.
bool ProbeExtensionUnit(CaptureDevice& device) {
  std::unique_ptr<CaptureFilter> filter;
  if (device.BindToObject(&filter) != hr::kOk || filter == nullptr) {
    return false;
  }
  transport::boundDevice.filter = std::move(filter);
  std::uint32_t node = 0;
  const bool found = transport::FindExtensionNode(&node);
  transport::boundDevice.filter.reset();
  return found;
}

std::string Hex2(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof(text), "0x%02X", value);
  return text;
}

const char* PolarityWord(std::uint8_t configByte) {
  const std::uint8_t polarity = configByte & 0x0F;
  return polarity == 0 ? "none" : (polarity == 1 ? "low" : "high");
}

}  // namespace

std::vector<DeviceEntry> EnumerateDevices(bool probe) {
  std::vector<DeviceEntry> devices;
  CaptureSystem* system = CurrentPorts().captureSystem;
  if (system == nullptr) {
    return devices;
  }
  system->BeginSession();
  std::unique_ptr<SystemDeviceEnumerator> systemEnumerator;
  std::unique_ptr<CaptureDeviceEnumerator> enumerator;
  // An empty category answers kFalse and hands out nothing: no devices.
  if (system->CreateSystemDeviceEnumerator(&systemEnumerator) == hr::kOk && systemEnumerator &&
      systemEnumerator->CreateVideoInputEnumerator(&enumerator) == hr::kOk && enumerator) {
    enumerator->Reset();
    std::unique_ptr<CaptureDevice> device;
    while (enumerator->Next(&device) == hr::kOk && device != nullptr) {
      std::unique_ptr<PropertyBag> bag;
      DeviceEntry entry;
      if (hr::Succeeded(device->BindToStorage(&bag)) && bag != nullptr &&
          bag->ReadDevicePath(&entry.widePath) == hr::kOk) {
        entry.path = Narrow(entry.widePath);
        std::u16string name;
        if (bag->ReadFriendlyName(&name) == hr::kOk) {
          entry.name = Narrow(name);
        }
        if (std::u16string serial; bag->ReadSerialNumber(&serial) == hr::kOk) {
          entry.serial = Narrow(serial);
        }
        entry.ours = app::PathCarriesTargetId(entry.path.c_str());
        if (entry.ours && probe) {
          entry.extensionUnit = ProbeExtensionUnit(*device);
        }
        devices.push_back(std::move(entry));
      }
      device.reset();
    }
  }
  enumerator.reset();
  systemEnumerator.reset();
  system->EndSession();
  return devices;
}

const DeviceEntry* ChooseDevice(const std::vector<DeviceEntry>& devices, const std::string& choice,
                                bool* ambiguous) {
  *ambiguous = false;
  if (choice.empty()) {
    for (const DeviceEntry& device : devices) {
      if (device.ours) {
        return &device;
      }
    }
    return nullptr;
  }
  const std::string wanted = Lower(choice);
  const DeviceEntry* containing = nullptr;
  int containingCount = 0;
  for (const DeviceEntry& device : devices) {
    const std::string path = Lower(device.path);
    if (path == wanted) {
      return &device;
    }
    if (path.find(wanted) != std::string::npos) {
      containing = &device;
      ++containingCount;
    }
  }
  *ambiguous = containingCount > 1;
  return containingCount == 1 ? containing : nullptr;
}

OpenCamera::OpenCamera(const DeviceEntry& device) {
  // The bind compares whole paths; the length only bounds the comparison.
  opened_ =
      access::OpenDevice(device.widePath.c_str(), static_cast<int>(device.widePath.size() + 1)) > 0;
  if (!opened_) {
    access::CloseDevice();  // an open that failed after binding leaves the device open
  }
}

OpenCamera::~OpenCamera() {
  Close();
}

void OpenCamera::Close() {
  if (opened_) {
    access::CloseDevice();
    opened_ = false;
  }
}

ChipInfo IdentifiedChip() {
  ChipInfo chip;
  chip.row = access::context.chipRow[0];
  for (int i = 0; i < 8; ++i) {
    chip.record[i] = access::context.chipIdCopy[i];
  }
  for (int i = 0; i < 5; ++i) {
    const char c = static_cast<char>(chip.record[i]);
    chip.id += (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  chip.version = chip.record[5];
  chip.flashKind = access::ReadFlashKind(0);
  if (access::RowOf(0).flashModeQuery != 0) {
    std::uint8_t mode = 0;
    if (access::ReadFlashMode(0, &mode)) {
      chip.flashMode = mode;
    }
  }
  return chip;
}

ChipInfo OpenCamera::Chip() const {
  return opened_ ? IdentifiedChip() : ChipInfo{};
}

ProtectionInfo OpenCamera::Protection() const {
  ProtectionInfo info;
  if (!opened_) {
    return info;
  }
  std::uint8_t value = 0;
  if (access::ReadFlashStatus(0, &value)) {
    info.status = value;
  }
  // The byte the updater reads to find the write-protect pin.
  info.configAddress = access::ConfigByteAddressFor(access::context.chipIdCopy);
  if (access::ReadMemory(info.configAddress, &value, 1)) {
    info.configByte = value;
  }
  if (access::ReadRegister(kRegPinLevel, &value)) {
    info.pinLevel = value;
  }
  if (access::ReadRegister(kRegPinEnable, &value)) {
    info.pinEnable = value;
  }
  return info;
}

nlohmann::json DeviceJson(const DeviceEntry& device) {
  nlohmann::json json = {{"path", device.path}, {"ours", device.ours}};
  json["name"] = device.name.empty() ? nlohmann::json(nullptr) : nlohmann::json(device.name);
  json["extension_unit"] =
      device.extensionUnit ? nlohmann::json(*device.extensionUnit) : nlohmann::json(nullptr);
  return json;
}

nlohmann::json ChipJson(const ChipInfo& chip) {
  nlohmann::json json = {{"row", chip.row},
                         {"id", chip.id},
                         {"version", chip.version},
                         {"flash_kind", chip.flashKind}};
  json["flash_mode"] = chip.flashMode ? nlohmann::json(*chip.flashMode) : nlohmann::json(nullptr);
  return json;
}

nlohmann::json ProtectionJson(const ProtectionInfo& p) {
  auto optionalByte = [](const std::optional<std::uint8_t>& value) {
    return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
  };
  nlohmann::json json;
  json["status_register"] = optionalByte(p.status);
  json["srwd"] =
      p.status ? nlohmann::json((*p.status & access::kStatusSrwd) != 0) : nlohmann::json(nullptr);
  json["bp"] = p.status ? nlohmann::json((*p.status & access::kStatusBlockProtect) >> 2)
                        : nlohmann::json(nullptr);
  json["config_address"] = p.configAddress;
  json["config_byte"] = optionalByte(p.configByte);
  json["wp_pin"] =
      p.configByte ? nlohmann::json((*p.configByte >> 4) & 0x07) : nlohmann::json(nullptr);
  json["wp_level_while_writing"] =
      p.configByte ? nlohmann::json(PolarityWord(*p.configByte)) : nlohmann::json(nullptr);
  json["pin_level_register"] = optionalByte(p.pinLevel);
  json["pin_enable_register"] = optionalByte(p.pinEnable);
  return json;
}

std::vector<std::string> DeviceLines(const DeviceEntry& device, const ChipInfo* chip) {
  std::vector<std::string> lines;
  lines.push_back(device.path);
  lines.push_back("  name:           " + (device.name.empty() ? "(none)" : device.name));
  lines.push_back(std::string("  our camera:     ") + (device.ours ? "yes" : "no"));
  if (!device.ours) {
    return lines;
  }
  lines.push_back(std::string("  extension unit: ") +
                  (device.extensionUnit.value_or(false) ? "found" : "not found"));
  if (chip == nullptr) {
    lines.push_back("  chip:           could not be opened or identified");
    return lines;
  }
  lines.push_back("  chip:           row " + std::to_string(chip->row) + ", id " + chip->id +
                  ", version " + std::to_string(chip->version));
  lines.push_back("  flash kind:     " + std::to_string(chip->flashKind) +
                  (chip->flashKind == 255 ? " (register unreadable)" : ""));
  if (chip->flashMode) {
    lines.push_back("  flash mode:     " + std::to_string(*chip->flashMode));
  }
  return lines;
}

std::vector<std::string> ProtectionLines(const ProtectionInfo& p) {
  std::vector<std::string> lines;
  if (p.status) {
    const unsigned status = *p.status;
    lines.push_back("  status register: " + Hex2(status) + " (SRWD " +
                    ((status & access::kStatusSrwd) != 0 ? "set" : "clear") + ", BP " +
                    std::to_string((status & access::kStatusBlockProtect) >> 2) + ")");
  } else {
    lines.push_back("  status register: unreadable");
  }
  char address[16];
  std::snprintf(address, sizeof(address), "0x%04X", static_cast<unsigned>(p.configAddress));
  if (p.configByte) {
    const unsigned config = *p.configByte;
    std::string pin = (config & 0x0F) == 0
                          ? std::string("no write-protect pin")
                          : "write-protect pin " + std::to_string((config >> 4) & 0x07) +
                                ", driven " + PolarityWord(*p.configByte) + " while writing";
    lines.push_back("  config byte:     " + Hex2(config) + " at " + address + " (" + pin + ")");
  } else {
    lines.push_back(std::string("  config byte:     unreadable at ") + address);
  }
  if (p.pinLevel && p.pinEnable) {
    lines.push_back("  pin registers:   level " + Hex2(*p.pinLevel) + ", enable " +
                    Hex2(*p.pinEnable));
  }
  return lines;
}

}  // namespace velkor::tool
