// The configuration byte's address, chosen by chip code and version.
#include "update/config_address.h"

#include <gtest/gtest.h>

#include <string>

namespace velkor::update {
namespace {

std::uint32_t AddressFor(const char* code, std::uint8_t version) {
  std::uint8_t record[8] = {};
  std::char_traits<char>::copy(reinterpret_cast<char*>(record), code, 4);
  record[5] = version;
  return ConfigAddressFor(record);
}

TEST(ConfigAddressFor, ChosenByCodeInAnyCaseAndVersion) {
  EXPECT_EQ(AddressFor("N8ER", 1), 0xC034u);
  EXPECT_EQ(AddressFor("n8er", 1), 0xC034u);
  EXPECT_EQ(AddressFor("C4SR", 1), 0xC034u);
  EXPECT_EQ(AddressFor("w7hr", 1), 0xC034u);
  EXPECT_EQ(AddressFor("N8ER", 2), 0x8034u);
  EXPECT_EQ(AddressFor("V6CR", 1), 0x8034u);
  EXPECT_EQ(AddressFor("V6CR", 2), 0x000Fu);
  EXPECT_EQ(AddressFor("K7DR", 1), 0x8034u);
  // A record that identification never filled stays zero and takes the default address.
  const std::uint8_t cleared[8] = {};
  EXPECT_EQ(ConfigAddressFor(cleared), 0x8034u);
}

}  // namespace
}  // namespace velkor::update
