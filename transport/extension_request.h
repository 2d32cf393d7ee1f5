// One vendor property request to the bound filter's extension-unit node: the building block of
// every extension-unit routine.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/capture_system.h"

namespace velkor::transport {

// The bound filter's control interface, obtained for one routine call and released when the
// pointer goes. Null when no filter is bound or the filter refuses the interface.
std::unique_ptr<KsControl> ObtainControl();

// Sends one request on the vendor set with the given selector and flags to the extension-unit
// node, with payload as the data buffer. True only when the platform answers exactly kOk.
bool SendRequest(KsControl& control, std::uint32_t selector, std::uint32_t flags,
                 std::uint8_t* payload, std::uint32_t size);

// A SET of payload; true only on kOk.
bool SetRequest(std::uint32_t selector, std::uint8_t* payload, std::uint32_t size);

// A GET into reply, which is cleared to zero first; true only on kOk.
bool GetRequest(std::uint32_t selector, std::uint8_t* reply, std::uint32_t size);

// A SET of request followed, only if it succeeded, by a GET into reply (cleared first), both on
// one control interface. True only when both answered kOk.
bool SetThenGetRequest(std::uint32_t selector, std::uint8_t* request, std::uint8_t* reply,
                       std::uint32_t size);

}  // namespace velkor::transport
