// Device-tree port: the Configuration Manager's walk of the system's device nodes.
#pragma once

#include <cstdint>

namespace velkor {

using DeviceNode = std::uint32_t;  // DEVINST

namespace cr {
constexpr int kSuccess = 0;           // CR_SUCCESS
constexpr int kNoSuchDevNode = 0x0D;  // CR_NO_SUCH_DEVNODE
constexpr int kBufferSmall = 0x1A;    // CR_BUFFER_SMALL
constexpr int kNoSuchValue = 0x25;    // CR_NO_SUCH_VALUE
constexpr int kCallNotImplemented = 0x34;
}  // namespace cr

// Registry property codes of CM_Get_DevNode_Registry_Property.
constexpr int kPropertyHardwareId = 2;  // CM_DRP_HARDWAREID: a list of zero-terminated texts
constexpr int kPropertyClass = 8;       // CM_DRP_CLASS

class DeviceTree {
 public:
  virtual ~DeviceTree() = default;
  // Each returns cr::kSuccess and writes *out, or another CR code and leaves *out alone.
  virtual int LocateRoot(DeviceNode* out) = 0;
  virtual int GetChild(DeviceNode* out, DeviceNode node) = 0;
  virtual int GetSibling(DeviceNode* out, DeviceNode node) = 0;
  virtual int GetParent(DeviceNode* out, DeviceNode node) = 0;
  // Copies the property as narrow text, terminator included, into buffer of *length bytes.
  // Fails (cr::kBufferSmall) when it does not fit, cr::kNoSuchValue when the node has none.
  virtual int GetProperty(DeviceNode node, int property, char* buffer, std::uint32_t* length) = 0;
};

}  // namespace velkor
