// The chip table's invariants and the record search, against a scripted controller memory.
#include <array>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "access/chip_table.h"
#include "rigs/sim/sim_controller_chip_rows.h"

namespace velkor::access {
namespace {

// Controller memory as MatchChipTable sees it through its read function.
struct ScriptedMemory {
  std::map<std::uint32_t, std::array<std::uint8_t, 8>> records;
  std::uint32_t failAt = 0xFFFFFFFF;
  std::vector<std::uint32_t> reads;
};
ScriptedMemory memory;

bool ReadScripted(DeviceIndex, int operation, std::uint32_t address, std::uint8_t* buffer,
                  std::uint32_t length, std::uint32_t unit) {
  memory.reads.push_back(address);
  if (operation != kOpReadMemory || length != 8 || unit != 8 || address == memory.failAt) {
    return false;
  }
  auto it = memory.records.find(address);
  // Memory that holds no record reads as erased.
  std::memset(buffer, 0xFF, 8);
  if (it != memory.records.end()) {
    std::memcpy(buffer, it->second.data(), 8);
  }
  return true;
}

std::array<std::uint8_t, 8> Record(const char* code, std::uint8_t version, std::uint8_t fifth = '0',
                                   std::uint8_t b6 = 0, std::uint8_t b7 = 0) {
  return {static_cast<std::uint8_t>(code[0]),
          static_cast<std::uint8_t>(code[1]),
          static_cast<std::uint8_t>(code[2]),
          static_cast<std::uint8_t>(code[3]),
          fifth,
          version,
          b6,
          b7};
}

class MatchChipTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    memory = ScriptedMemory{};
    context.chipRow[0] = -7;  // a value no match writes, to see whether the row was written
  }
  void TearDown() override { context.chipRow[0] = 0; }

  // The row the record at this address selects, or -1 without a match.
  int RowFor(std::uint32_t address, const std::array<std::uint8_t, 8>& record) {
    memory.records = {{address, record}};
    memory.reads.clear();
    std::uint8_t id[8] = {};
    return MatchChipTable(0, ReadScripted, id) ? context.chipRow[0] : -1;
  }
};

// A row's code and version as one text, "W7HR1": how the chips are named below.
std::string ChipName(const ChipRow& row) {
  return std::string(row.idText, 4) + std::to_string(row.version);
}

// The names of the chips whose row satisfies the predicate, in table order.
template <typename Predicate>
std::vector<std::string> ChipsWhere(Predicate predicate) {
  std::vector<std::string> names;
  for (const ChipRow& row : ChipTable) {
    if (predicate(row)) {
      names.push_back(ChipName(row));
    }
  }
  return names;
}

TEST(ChipTableInvariants, EveryRowIsReachableAndItsColumnsAgreeWithEachOther) {
  constexpr std::uint32_t kFlashSize = 0x10000;
  for (int r = 0; r < kChipRowCount; ++r) {
    const ChipRow& row = ChipTable[r];
    SCOPED_TRACE(r);
    bool listed = false;
    for (std::uint16_t a : IdAddressList) {
      listed = listed || a == row.idAddress;
    }
    EXPECT_TRUE(listed);
    EXPECT_EQ(row.idText[3], 'R');
    EXPECT_EQ(row.idText[4], '0');
    EXPECT_LE(row.versionAtLeast | row.directErase | row.flashAccessSetup | row.altConfigBase |
                  row.flashModeQuery | row.alwaysProtect | row.transferUnitByKind |
                  row.clearAfterWrite,
              1);
    // Every row must be reachable: no earlier row at the same address swallows its records.
    for (int e = 0; e < r; ++e) {
      const ChipRow& earlier = ChipTable[e];
      if (earlier.idAddress == row.idAddress && std::memcmp(earlier.idText, row.idText, 4) == 0) {
        EXPECT_FALSE(earlier.versionAtLeast && earlier.version <= row.version) << "row " << e;
      }
    }
    // The alternative configuration block exists only where it is selected; without a page
    // reported by the chip it must be a real place, and its bytes must lie inside the flash.
    if (row.altConfigBase == 0) {
      EXPECT_EQ(row.altConfigBlock, 0);
    } else {
      EXPECT_TRUE(row.flashModeQuery != 0 || row.altConfigBlock != 0);
      EXPECT_EQ(row.altConfigBlock % 0x100, 0);
      EXPECT_LT(row.altConfigBlock + 0x34u, kFlashSize);
    }
    // A probe needs both its register and its bits.
    EXPECT_EQ(row.probeRegister != 0, row.probeBits != 0);
    // The open's kind check reads the row's flash-kind register: it must have one.
    EXPECT_TRUE(row.transferUnitByKind == 0 || row.flashKindRegister != 0);
  }
  const std::uint16_t expectedAddresses[] = {0x9FF8, 0xD2B2, 0xDFF8, 0xBFF8, 0xC7F8};
  EXPECT_EQ(0, std::memcmp(IdAddressList, expectedAddresses, sizeof expectedAddresses));

  // The simulator's table and the rigs name chips by row number: the order stays as published.
  EXPECT_EQ(0, std::memcmp(ChipTable[0].idText, "K7DR", 4));
  EXPECT_EQ(ChipTable[0].flashKindRegister, 0x3C5);
  EXPECT_EQ(ChipName(ChipTable[8]), "J4NR1");
  EXPECT_EQ(ChipName(ChipTable[13]), "V6CR2");
  EXPECT_EQ(ChipName(ChipTable[15]), "W7HR1");
  EXPECT_EQ(ChipName(ChipTable[18]), "N8ER2");
}

// Each chip difference is a column; these are the chips that carry each behaviour. A row that
// gained or lost one would change what the library sends to that chip.
TEST(ChipTableInvariants, EachBehaviourBelongsToItsOwnChips) {
  using Names = std::vector<std::string>;
  EXPECT_EQ(ChipsWhere([](const ChipRow& r) { return r.flashModeQuery != 0; }), Names{"N8ER2"});
  EXPECT_EQ(ChipsWhere([](const ChipRow& r) { return r.transferUnitByKind != 0; }), Names{"K7DR1"});
  EXPECT_EQ(ChipsWhere([](const ChipRow& r) { return r.clearAfterWrite == 0; }),
            (Names{"K7DR1", "P3WR3"}));
  EXPECT_EQ(ChipsWhere([](const ChipRow& r) { return r.alwaysProtect != 0; }), Names{"V6CR2"});
  EXPECT_EQ(ChipsWhere([](const ChipRow& r) { return r.probeRegister != 0; }), Names{"W7HR1"});
  const ChipRow& probed = ChipTable[15];
  EXPECT_EQ(probed.probeRegister, 0x1185);
  EXPECT_EQ(probed.probeBits, 0x70);
  // The configuration block: 0x8000 unless the row selects another; the J4NR keeps it lower,
  // the N8ER2 where the page it reports says.
  EXPECT_EQ(ChipsWhere([](const ChipRow& r) { return r.altConfigBase != 0; }),
            (Names{"J4NR1", "W7HR1", "C4SR1", "N8ER1", "N8ER2"}));
  EXPECT_EQ(ChipsWhere([](const ChipRow& r) { return r.altConfigBlock == 0x5800; }),
            Names{"J4NR1"});
  EXPECT_EQ(ChipsWhere([](const ChipRow& r) { return r.altConfigBlock == 0xC000; }),
            (Names{"W7HR1", "C4SR1", "N8ER1"}));
}

TEST_F(MatchChipTableTest, EachRowIsSelectedByItsOwnCodeVersionAndAddress) {
  for (int r = 0; r < kChipRowCount; ++r) {
    const ChipRow& row = ChipTable[r];
    char code[5] = {row.idText[0], row.idText[1], row.idText[2], row.idText[3], 0};
    EXPECT_EQ(RowFor(row.idAddress, Record(code, row.version)), r) << code;
  }
}

TEST_F(MatchChipTableTest, VersionRulesPickTheRowOrPassOnToTheNextAddress) {
  EXPECT_EQ(RowFor(0x9FF8, Record("T9FR", 1)), 2);
  EXPECT_EQ(RowFor(0x9FF8, Record("T9FR", 2)), 3);
  EXPECT_EQ(RowFor(0x9FF8, Record("T9FR", 255)), 3);
  EXPECT_EQ(RowFor(0x9FF8, Record("T9FR", 0)), -1);
  EXPECT_EQ(memory.reads.size(), 5u);  // version 0 at 0x9FF8 sent the search on to the end

  EXPECT_EQ(RowFor(0xDFF8, Record("H2MR", 2)), 5);
  EXPECT_EQ(RowFor(0xDFF8, Record("H2MR", 3)), 6);
  EXPECT_EQ(RowFor(0xDFF8, Record("H2MR", 9)), 6);
  EXPECT_EQ(RowFor(0xDFF8, Record("H2MR", 1)), -1);
  EXPECT_EQ(RowFor(0xD2B2, Record("H2MR", 1)), 4);
  EXPECT_EQ(RowFor(0xD2B2, Record("H2MR", 2)), -1);

  EXPECT_EQ(RowFor(0xDFF8, Record("V6CR", 1)), 7);
  EXPECT_EQ(RowFor(0xDFF8, Record("V6CR", 2)), -1);
  EXPECT_EQ(RowFor(0xBFF8, Record("V6CR", 2)), 13);

  EXPECT_EQ(RowFor(0xC7F8, Record("N8ER", 1)), 17);
  EXPECT_EQ(RowFor(0xC7F8, Record("N8ER", 2)), 18);
  EXPECT_EQ(RowFor(0xC7F8, Record("N8ER", 255)), 18);
  EXPECT_EQ(RowFor(0xC7F8, Record("N8ER", 0)), -1);
}

TEST_F(MatchChipTableTest, CaseAndTheUncomparedBytesDoNotChangeTheMatch) {
  EXPECT_EQ(RowFor(0xC7F8, Record("n8er", 2)), 18);
  EXPECT_EQ(RowFor(0xBFF8, Record("w7Hr", 1)), 15);
  EXPECT_EQ(RowFor(0xBFF8, Record("W7HR", 1, 'Z', 0xAA, 0x55)), 15);
  EXPECT_EQ(RowFor(0x9FF8, Record("K7DR", 1, 0x00, 0xFF, 0xFF)), 0);
  // Folding is ASCII only: a byte 0x20 away from a letter is not that letter.
  EXPECT_EQ(RowFor(0x9FF8, Record("K\x17"
                                  "DR",
                                  1)),
            -1);
}

TEST_F(MatchChipTableTest, TheWholeRecordIsCopiedOnAMatch) {
  memory.records = {{0xBFF8, Record("g3yr", 4, 'x', 0x12, 0x34)}};
  std::uint8_t id[8] = {};
  ASSERT_TRUE(MatchChipTable(0, ReadScripted, id));
  const auto expected = Record("g3yr", 4, 'x', 0x12, 0x34);
  EXPECT_EQ(0, std::memcmp(id, expected.data(), 8));
  EXPECT_EQ(context.chipRow[0], 14);
  EXPECT_EQ(memory.reads, (std::vector<std::uint32_t>{0x9FF8, 0xD2B2, 0xDFF8, 0xBFF8}));
}

TEST_F(MatchChipTableTest, AFailedReadEndsTheSearchAndLeavesEverythingUnwritten) {
  memory.failAt = 0x9FF8;
  memory.records = {{0xC7F8, Record("N8ER", 2)}};
  std::uint8_t id[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_FALSE(MatchChipTable(0, ReadScripted, id));
  EXPECT_EQ(memory.reads, (std::vector<std::uint32_t>{0x9FF8}));
  EXPECT_EQ(id[0], 1);
  EXPECT_EQ(context.chipRow[0], -7);

  // A failure after a read that matched nothing stops there too.
  memory = ScriptedMemory{};
  memory.failAt = 0xD2B2;
  memory.records = {{0xC7F8, Record("N8ER", 2)}};
  EXPECT_FALSE(MatchChipTable(0, ReadScripted, id));
  EXPECT_EQ(memory.reads, (std::vector<std::uint32_t>{0x9FF8, 0xD2B2}));
}

TEST_F(MatchChipTableTest, UnknownChipOrUnusableArgumentsMatchNothing) {
  std::uint8_t id[8] = {9, 9, 9, 9, 9, 9, 9, 9};
  memory.records = {{0x9FF8, Record("Y0QR", 1)}};
  EXPECT_FALSE(MatchChipTable(0, ReadScripted, id));
  EXPECT_EQ(id[0], 9);
  EXPECT_EQ(context.chipRow[0], -7);

  memory.records = {{0x9FF8, Record("K7DR", 1)}};
  memory.reads.clear();
  EXPECT_FALSE(MatchChipTable(0, nullptr, id));
  EXPECT_FALSE(MatchChipTable(0, ReadScripted, nullptr));
  // An index past the per-device arrays must not be written through.
  EXPECT_FALSE(MatchChipTable(kDeviceCount, ReadScripted, id));
  EXPECT_FALSE(MatchChipTable(-1, ReadScripted, id));
  EXPECT_TRUE(memory.reads.empty());
}

// The simulator keeps its own record of the chips it can play. If the two tables drifted
// apart, every library-level run would test the library against a camera that does not exist.
TEST(ChipTableAgainstSimulatorTest, BothDescribeTheSameChipsAtTheSameAddresses) {
  for (int i = 0; i < kIdAddressCount; ++i) {
    EXPECT_EQ(IdAddressList[i], sim::kSimIdAddresses[i]) << i;
  }
  for (int row = 0; row < kChipRowCount; ++row) {
    SCOPED_TRACE(row);
    const ChipRow& ours = ChipTable[row];
    const sim::SimChipRow& sims = sim::kSimChipRows[row];
    EXPECT_EQ(ours.idAddress, sims.idAddress);
    EXPECT_EQ(std::memcmp(ours.idText, sims.code, 4), 0);
    EXPECT_EQ(ours.version, sims.version);
    EXPECT_EQ(ours.flashKindRegister, sims.flashKindRegister);
    EXPECT_EQ(ours.directErase != 0, sims.directErase);
    EXPECT_EQ(ours.flashAccessSetup != 0, sims.flashAccessSetup);
  }
}

}  // namespace
}  // namespace velkor::access
