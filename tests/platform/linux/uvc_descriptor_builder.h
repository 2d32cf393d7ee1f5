// Composes the raw descriptors of a USB video-class camera byte by byte, in the layout the
// USB video class defines, for tests of the descriptor parser and the uvcvideo adapter.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "platform/guid.h"

namespace velkor::linux_platform::testing {

using Bytes = std::vector<std::uint8_t>;

// The vendor property set and the GUID of another vendor's extension unit.
constexpr Guid kVendorSet = {
    0x5B1E07C4, 0x92D3, 0x4F6A, {0x8E, 0x21, 0x3C, 0x7D, 0x94, 0xA0, 0xB6, 0xF8}};
constexpr Guid kOtherSet = {
    0x0F3F95DC, 0x2632, 0x4C4E, {0x92, 0xC9, 0xA0, 0x47, 0x82, 0xF4, 0x3B, 0xC8}};

class UvcDescriptorBuilder {
 public:
  UvcDescriptorBuilder& Device(std::uint16_t vendor, std::uint16_t product, std::uint16_t bcd) {
    return Add({18, 0x01, 0x00, 0x02, 0xEF, 0x02, 0x01, 64, Lo(vendor), Hi(vendor), Lo(product),
                Hi(product), Lo(bcd), Hi(bcd), 1, 2, 0, 1});
  }
  // Starts a configuration; its wTotalLength is filled in by Build().
  UvcDescriptorBuilder& Configuration(std::uint8_t value, std::uint8_t interfaces = 2) {
    configurationStarts_.push_back(bytes_.size());
    return Add({9, 0x02, 0, 0, interfaces, value, 0, 0x80, 250});
  }
  UvcDescriptorBuilder& Association(std::uint8_t first, std::uint8_t count) {
    return Add({8, 0x0B, first, count, 0x0E, 0x03, 0x00, 0});
  }
  UvcDescriptorBuilder& Interface(std::uint8_t number, std::uint8_t alternate,
                                  std::uint8_t interfaceClass, std::uint8_t subclass) {
    return Add({9, 0x04, number, alternate, 1, interfaceClass, subclass, 0x00, 0});
  }
  UvcDescriptorBuilder& VideoControlHeader() {
    return Add({13, 0x24, 0x01, 0x10, 0x01, 0x50, 0x00, 0x80, 0x8D, 0x5B, 0x00, 1, 1});
  }
  UvcDescriptorBuilder& CameraTerminal(std::uint8_t id) {
    return Add({18, 0x24, 0x02, id, 0x01, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0x0E, 0x00, 0x00});
  }
  UvcDescriptorBuilder& ProcessingUnit(std::uint8_t id, std::uint8_t source) {
    return Add({11, 0x24, 0x05, id, source, 0, 0, 2, 0x7F, 0x15, 0});
  }
  // bmControls has one bit per selector, selector 1 in bit 0.
  UvcDescriptorBuilder& ExtensionUnit(std::uint8_t id, const Guid& code, std::uint8_t source,
                                      std::initializer_list<std::uint8_t> controls) {
    Bytes unit = {0, 0x24, 0x06, id};
    AppendGuid(unit, code);
    unit.push_back(static_cast<std::uint8_t>(controls.size() * 8));  // bNumControls
    unit.push_back(1);                                               // bNrInPins
    unit.push_back(source);                                          // baSourceID(1)
    unit.push_back(static_cast<std::uint8_t>(controls.size()));      // bControlSize
    unit.insert(unit.end(), controls);
    unit.push_back(0);  // iExtension
    unit[0] = static_cast<std::uint8_t>(unit.size());
    return Add(unit);
  }
  UvcDescriptorBuilder& StreamingTerminal(std::uint8_t id, std::uint8_t source) {
    return Add({9, 0x24, 0x03, id, 0x01, 0x01, 0, source, 0});
  }
  UvcDescriptorBuilder& InterruptEndpoint() {
    return Add({7, 0x05, 0x83, 0x03, 0x10, 0x00, 6}).Add({5, 0x25, 0x03, 0x10, 0x00});
  }
  UvcDescriptorBuilder& Raw(std::initializer_list<std::uint8_t> bytes) { return Add(Bytes(bytes)); }

  Bytes Build() const {
    Bytes out = bytes_;
    for (std::size_t i = 0; i < configurationStarts_.size(); ++i) {
      std::size_t start = configurationStarts_[i];
      std::size_t end =
          i + 1 < configurationStarts_.size() ? configurationStarts_[i + 1] : out.size();
      out[start + 2] = Lo(static_cast<std::uint16_t>(end - start));
      out[start + 3] = Hi(static_cast<std::uint16_t>(end - start));
    }
    return out;
  }

 private:
  static std::uint8_t Lo(std::uint16_t v) { return static_cast<std::uint8_t>(v & 0xFF); }
  static std::uint8_t Hi(std::uint16_t v) { return static_cast<std::uint8_t>(v >> 8); }
  static void AppendGuid(Bytes& out, const Guid& g) {
    for (int shift = 0; shift < 32; shift += 8) {
      out.push_back(static_cast<std::uint8_t>(g.data1 >> shift));
    }
    out.push_back(Lo(g.data2));
    out.push_back(Hi(g.data2));
    out.push_back(Lo(g.data3));
    out.push_back(Hi(g.data3));
    out.insert(out.end(), g.data4, g.data4 + 8);
  }
  UvcDescriptorBuilder& Add(const Bytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
  }

  Bytes bytes_;
  std::vector<std::size_t> configurationStarts_;
};

// The camera under test: VideoControl interface 0 with a camera terminal (1), a processing
// unit (2), another vendor's extension unit (3), the vendor extension unit (4) with selectors
// 1 to 5, and a streaming output terminal (5); VideoStreaming interface 1.
inline Bytes TwoExtensionUnitCamera() {
  return UvcDescriptorBuilder()
      .Device(0x5D1A, 0xC03E, 0x0100)
      .Configuration(1)
      .Association(0, 2)
      .Interface(0, 0, 0x0E, 0x01)
      .VideoControlHeader()
      .CameraTerminal(1)
      .ProcessingUnit(2, 1)
      .ExtensionUnit(3, kOtherSet, 2, {0xFF, 0x03})
      .ExtensionUnit(4, kVendorSet, 3, {0x1F})
      .StreamingTerminal(5, 4)
      .InterruptEndpoint()
      .Interface(1, 0, 0x0E, 0x02)
      .Raw({14, 0x24, 0x01, 1, 0x4D, 0x00, 0x81, 0x00, 5, 0x00, 0x00, 0x00, 0x01, 0x00})
      .Build();
}

}  // namespace velkor::linux_platform::testing
