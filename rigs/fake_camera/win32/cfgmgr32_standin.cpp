// A cfgmgr32.dll that presents the fake camera's device tree: the Configuration Manager calls
// the updater imports, answered from the rig in the fake camera DLL, whose presence schedule
// also drives the capture-device registrations. Wine loads it instead of its own stub when the
// program runs with WINEDLLOVERRIDES=cfgmgr32=n,b and finds it next to the executable.
#define _CFGMGR32_
#include "platform/device_tree.h"
#include "platform/win32/windows_api.h"

// The fake camera DLL's device-tree exports (cdecl, plain names).
extern "C" {
__declspec(dllimport) int VelkorFakeCameraLocateRoot(velkor::DeviceNode* out);
__declspec(dllimport) int VelkorFakeCameraGetChild(velkor::DeviceNode* out,
                                                   velkor::DeviceNode node);
__declspec(dllimport) int VelkorFakeCameraGetSibling(velkor::DeviceNode* out,
                                                     velkor::DeviceNode node);
__declspec(dllimport) int VelkorFakeCameraGetParent(velkor::DeviceNode* out,
                                                    velkor::DeviceNode node);
__declspec(dllimport) int VelkorFakeCameraGetProperty(velkor::DeviceNode node, int property,
                                                      char* buffer, std::uint32_t* length);
}

namespace {

// Checks shared by the moves: the Configuration Manager refuses a null output and any flag.
CONFIGRET Move(int (*move)(velkor::DeviceNode*, velkor::DeviceNode), PDEVINST out, DEVINST node,
               ULONG flags) {
  if (out == nullptr) {
    return CR_INVALID_POINTER;
  }
  if (flags != 0) {
    return CR_INVALID_FLAG;
  }
  velkor::DeviceNode next = 0;
  const int result = move(&next, node);
  if (result == CR_SUCCESS) {
    *out = next;
  }
  return static_cast<CONFIGRET>(result);
}

}  // namespace

extern "C" {

CONFIGRET WINAPI CM_Locate_DevNodeA(PDEVINST out, DEVINSTID_A deviceId, ULONG flags) {
  if (out == nullptr) {
    return CR_INVALID_POINTER;
  }
  if ((flags & ~CM_LOCATE_DEVNODE_BITS) != 0) {
    return CR_INVALID_FLAG;
  }
  // Only the root is located by this tree: no device instance ids are modelled.
  if (deviceId != nullptr && *deviceId != '\0') {
    return CR_NO_SUCH_DEVNODE;
  }
  velkor::DeviceNode root = 0;
  const int result = VelkorFakeCameraLocateRoot(&root);
  if (result == CR_SUCCESS) {
    *out = root;
  }
  return static_cast<CONFIGRET>(result);
}

CONFIGRET WINAPI CM_Get_Child(PDEVINST out, DEVINST node, ULONG flags) {
  return Move(&VelkorFakeCameraGetChild, out, node, flags);
}

CONFIGRET WINAPI CM_Get_Sibling(PDEVINST out, DEVINST node, ULONG flags) {
  return Move(&VelkorFakeCameraGetSibling, out, node, flags);
}

CONFIGRET WINAPI CM_Get_Parent(PDEVINST out, DEVINST node, ULONG flags) {
  return Move(&VelkorFakeCameraGetParent, out, node, flags);
}

CONFIGRET WINAPI CM_Get_DevNode_Registry_PropertyA(DEVINST node, ULONG property, PULONG type,
                                                   PVOID buffer, PULONG length, ULONG flags) {
  if (length == nullptr) {
    return CR_INVALID_POINTER;
  }
  if (flags != 0) {
    return CR_INVALID_FLAG;
  }
  std::uint32_t size = *length;
  const int result = VelkorFakeCameraGetProperty(node, static_cast<int>(property),
                                                 static_cast<char*>(buffer), &size);
  *length = size;
  if (result == CR_SUCCESS && type != nullptr) {
    *type = property == CM_DRP_HARDWAREID ? REG_MULTI_SZ : REG_SZ;
  }
  return static_cast<CONFIGRET>(result);
}

// Marks the stand-in, so that a test can tell it from the system's cfgmgr32.dll.
int VelkorCfgmgrStandIn() {
  return 1;
}

}  // extern "C"
