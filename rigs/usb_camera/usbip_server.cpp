// The USB/IP serving loop over a socket.
#include "rigs/usb_camera/usbip_server.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/uio.h>
#include <unistd.h>

#include "rigs/usb_camera/usbip_protocol.h"

namespace velkor::usbcam {
namespace {

enum class ReadEnd { kDone, kClosed, kStopped };

ReadEnd ReadFully(int fd, std::uint8_t* data, std::size_t size, const std::atomic<bool>& stop) {
  std::size_t got = 0;
  while (got < size) {
    if (stop.load()) {
      return ReadEnd::kStopped;
    }
    // A stop signal that lands just before read() would not interrupt it: wait in slices.
    pollfd wait = {fd, POLLIN, 0};
    const int ready = ::poll(&wait, 1, 200);
    if (ready == 0 || (ready < 0 && errno == EINTR)) {
      continue;
    }
    const ssize_t n = ::read(fd, data + got, size - got);
    if (n == 0) {
      return ReadEnd::kClosed;
    }
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      return ReadEnd::kClosed;
    }
    got += static_cast<std::size_t>(n);
  }
  return ReadEnd::kDone;
}

bool WriteFully(int fd, const usbip::Header& header, const Bytes& data) {
  iovec parts[2] = {{const_cast<std::uint8_t*>(header.data()), header.size()},
                    {const_cast<std::uint8_t*>(data.data()), data.size()}};
  std::size_t left = header.size() + data.size();
  int first = 0;
  while (left > 0) {
    const ssize_t n = ::writev(fd, parts + first, 2 - first);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    auto done = static_cast<std::size_t>(n);
    left -= done;
    while (first < 2 && done >= parts[first].iov_len) {
      done -= parts[first].iov_len;
      ++first;
    }
    if (first < 2) {
      parts[first].iov_base = static_cast<std::uint8_t*>(parts[first].iov_base) + done;
      parts[first].iov_len -= done;
    }
  }
  return true;
}

}  // namespace

ServeEnd ServeUsbIp(int fd, ControlEndpoint& endpoint, const std::atomic<bool>& stop) {
  for (;;) {
    usbip::Header header{};
    ReadEnd end = ReadFully(fd, header.data(), header.size(), stop);
    if (end != ReadEnd::kDone) {
      return end == ReadEnd::kStopped ? ServeEnd::kStopped : ServeEnd::kPeerClosed;
    }
    const std::optional<usbip::Command> command = usbip::ParseCommand(header);
    if (!command) {
      return ServeEnd::kProtocolError;
    }
    const std::optional<std::size_t> outLength = usbip::OutDataLength(*command);
    if (!outLength) {
      return ServeEnd::kProtocolError;
    }
    Bytes outData(*outLength);
    end = ReadFully(fd, outData.data(), outData.size(), stop);
    if (end != ReadEnd::kDone) {
      return end == ReadEnd::kStopped ? ServeEnd::kStopped : ServeEnd::kPeerClosed;
    }

    if (command->command == usbip::kCmdUnlink) {
      // Every submit was answered before this command was read: nothing is left to cancel.
      if (!WriteFully(fd, usbip::UnlinkReply(*command, 0), {})) {
        return ServeEnd::kPeerClosed;
      }
      continue;
    }
    if (command->endpoint != 0) {
      // The streaming endpoint is described but never streams.
      if (!WriteFully(fd, usbip::SubmitReply(*command, -EPIPE, 0), {})) {
        return ServeEnd::kPeerClosed;
      }
      continue;
    }
    const SetupPacket setup = ParseSetup(command->setup.data());
    ControlOutcome outcome = endpoint.Handle(setup, outData);
    if (outcome.kind == ControlOutcome::Kind::kUnplug) {
      return ServeEnd::kUnplugged;  // the transfer in flight never completes
    }
    if (outcome.delayMs > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(outcome.delayMs));
    }
    const bool in = command->direction == usbip::kDirectionIn;
    Bytes inData = in && outcome.kind == ControlOutcome::Kind::kDone ? outcome.data : Bytes{};
    if (inData.size() > static_cast<std::size_t>(std::max(command->transferLength, 0))) {
      inData.resize(static_cast<std::size_t>(std::max(command->transferLength, 0)));
    }
    const std::int32_t status = outcome.kind == ControlOutcome::Kind::kStall ? -EPIPE : 0;
    const std::int32_t actual =
        in ? static_cast<std::int32_t>(inData.size()) : (status == 0 ? command->transferLength : 0);
    if (!WriteFully(fd, usbip::SubmitReply(*command, status, actual), inData)) {
      return ServeEnd::kPeerClosed;
    }
  }
}

const char* ServeEndName(ServeEnd end) {
  switch (end) {
    case ServeEnd::kPeerClosed:
      return "host closed the connection";
    case ServeEnd::kStopped:
      return "stopped";
    case ServeEnd::kUnplugged:
      return "unplugged";
    case ServeEnd::kProtocolError:
      return "protocol error";
  }
  return "?";
}

}  // namespace velkor::usbcam
