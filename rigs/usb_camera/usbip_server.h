// The device side of a USB/IP connection: reads commands from a stream socket, serves control
// transfers on endpoint 0 through a ControlEndpoint and writes the replies. Every transfer is
// answered before the next command is read, so the host never has two of them outstanding.
#pragma once

#include <atomic>

#include "rigs/usb_camera/control_endpoint.h"

namespace velkor::usbcam {

enum class ServeEnd {
  kPeerClosed,     // the host side went away (detached, or the kernel dropped the port)
  kStopped,        // *stop was set while waiting for a command
  kUnplugged,      // the endpoint asked for the cable to be pulled
  kProtocolError,  // a command this server cannot read
};

// Serves until one of the ends above. A signal that interrupts the wait lets it look at *stop.
ServeEnd ServeUsbIp(int fd, ControlEndpoint& endpoint, const std::atomic<bool>& stop);

const char* ServeEndName(ServeEnd end);

}  // namespace velkor::usbcam
