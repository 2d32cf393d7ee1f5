// HRESULT-style result codes shared by the ports and the code that calls them.
#pragma once

#include <cstdint>

namespace velkor {

// Same bit layout as a Windows HRESULT: negative means failure, 0 is the one full success,
// positive values are "success with a remark" (S_FALSE and friends). Callers that need a
// request to have worked test for exactly kOk.
using HResult = std::int32_t;

namespace hr {
constexpr HResult kOk = 0;
constexpr HResult kFalse = 1;
constexpr HResult kNotImplemented = static_cast<HResult>(0x80004001u);
constexpr HResult kNoInterface = static_cast<HResult>(0x80004002u);
constexpr HResult kFail = static_cast<HResult>(0x80004005u);
constexpr HResult kOutOfMemory = static_cast<HResult>(0x8007000Eu);
constexpr HResult kInvalidArgument = static_cast<HResult>(0x80070057u);
// HRESULT_FROM_WIN32 of ERROR_GEN_FAILURE, ERROR_NOT_FOUND, ERROR_DEVICE_NOT_CONNECTED, ...
constexpr HResult kDeviceFailure = static_cast<HResult>(0x8007001Fu);
constexpr HResult kNotFound = static_cast<HResult>(0x80070490u);
constexpr HResult kDeviceNotConnected = static_cast<HResult>(0x8007048Fu);
constexpr HResult kTimeout = static_cast<HResult>(0x800705B4u);
constexpr HResult kInsufficientBuffer = static_cast<HResult>(0x8007007Au);

constexpr bool Succeeded(HResult result) {
  return result >= 0;
}
constexpr bool Failed(HResult result) {
  return result < 0;
}
}  // namespace hr

}  // namespace velkor
