// The capture devices the system lists, our camera among them, and what the access library
// can tell about an opened camera: its chip and its flash's protection. Nothing here writes to
// the flash.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace velkor::tool {

struct DeviceEntry {
  std::string path;                   // the device path, as narrow text
  std::u16string widePath;            // the same, as the capture system gave it
  std::string name;                   // friendly name; empty when the system has none
  std::string serial;                 // USB serial number; empty when the system names none
  bool ours = false;                  // the path carries the camera's USB vendor and product id
  std::optional<bool> extensionUnit;  // for ours: whether the topology shows the vendor unit
};

// Every video-input device, in the system's order. For ours the extension unit is probed unless
// probe is false (the station's look must not send requests to a camera another process is
// updating).
std::vector<DeviceEntry> EnumerateDevices(bool probe = true);

// The device a command works on: with an empty choice the first of ours; otherwise the device
// whose path equals choice (ignoring letter case) or, failing that, the only one whose path
// contains it. Null when there is none (or more than one contains it: *ambiguous is set).
const DeviceEntry* ChooseDevice(const std::vector<DeviceEntry>& devices, const std::string& choice,
                                bool* ambiguous);

struct ChipInfo {
  int row = -1;
  std::string id;  // the record's five characters, e.g. "N8ER0"
  int version = 0;
  int flashKind = -1;            // 255: register unreadable
  std::optional<int> flashMode;  // only on chips whose row answers the flash-mode query
  std::array<std::uint8_t, 8> record{};
};

struct ProtectionInfo {
  std::optional<std::uint8_t> status;  // the flash's status register
  std::uint32_t configAddress = 0;
  std::optional<std::uint8_t> configByte;
  std::optional<std::uint8_t> pinLevel;   // controller register 0x1006
  std::optional<std::uint8_t> pinEnable;  // controller register 0x1007
};

// The chip the open of device 0 identified, with its flash kind and mode read now.
ChipInfo IdentifiedChip();

// Opens the camera at this path through the access library (which identifies the chip) and
// closes it when destroyed.
class OpenCamera {
 public:
  explicit OpenCamera(const DeviceEntry& device);
  ~OpenCamera();
  OpenCamera(const OpenCamera&) = delete;
  OpenCamera& operator=(const OpenCamera&) = delete;

  bool opened() const { return opened_; }
  // The chip as the open identified it, with its flash kind and mode read now.
  ChipInfo Chip() const;
  // Read-only look at the protection: status register, configuration byte, pin registers.
  ProtectionInfo Protection() const;
  // Closes before destruction; later calls do nothing.
  void Close();

 private:
  bool opened_ = false;
};

nlohmann::json DeviceJson(const DeviceEntry& device);
nlohmann::json ChipJson(const ChipInfo& chip);
nlohmann::json ProtectionJson(const ProtectionInfo& protection);

// Human lines for the same.
std::vector<std::string> DeviceLines(const DeviceEntry& device, const ChipInfo* chip);
std::vector<std::string> ProtectionLines(const ProtectionInfo& protection);

}  // namespace velkor::tool
