// Chunked memory transfers against the simulated camera: how lengths and addresses split into
// pieces, the flash read stream, where a failure stops the transfer and what it reports.
#include "transport/memory_transfer.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "tests/transport/transport_test_world.h"
#include "transport/extension_unit.h"

namespace velkor::transport {
namespace {

using testing::Bytes;

constexpr int kWrite = kOpWriteFlash;
constexpr int kRead = kOpReadFlash;
constexpr int kMemory = kOpReadMemory;

// One selector-3 request as the controller saw it.
struct FlashPiece {
  bool set;
  std::uint16_t address;
  std::uint8_t command;  // count, or 0x80 | count for a read request
  Bytes data;            // the count data bytes of a write

  bool operator==(const FlashPiece&) const = default;
};

std::ostream& operator<<(std::ostream& out, const FlashPiece& piece) {
  return out << (piece.set ? "SET " : "GET ") << piece.address << " cmd " << int{piece.command}
             << " data " << piece.data.size();
}

FlashPiece Write(std::uint16_t address, const Bytes& data) {
  return {true, address, static_cast<std::uint8_t>(data.size()), data};
}
FlashPiece ReadRequest(std::uint16_t address, std::uint8_t count) {
  return {true, address, static_cast<std::uint8_t>(0x80 | count), {}};
}
FlashPiece ReadData() {
  return {false, 0, 0, {}};
}

// Bytes first..first+count-1 of the source.
Bytes Slice(const Bytes& source, std::size_t first, std::size_t count) {
  return Bytes(source.begin() + first, source.begin() + first + count);
}

Bytes Pattern(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  }
  return bytes;
}

class MemoryTransferTest : public testing::TransportTest {
 protected:
  void SetUp() override {
    TransportTest::SetUp();
    InstallCamera(WritableCamera());
    BindCameraDirectly();
  }

  std::vector<FlashPiece> FlashTraffic() const {
    std::vector<FlashPiece> pieces;
    for (const sim::TrafficRecord& record : traffic()) {
      EXPECT_EQ(record.selector, 3u);
      FlashPiece piece{record.flags == kFlagsSet, 0, 0, {}};
      if (piece.set) {
        piece.address = static_cast<std::uint16_t>(record.sent[0] | (record.sent[1] << 8));
        piece.command = record.sent[2];
        if (piece.command <= 8) {
          piece.data.assign(record.sent.begin() + 3, record.sent.begin() + 3 + piece.command);
        }
      }
      pieces.push_back(piece);
    }
    return pieces;
  }

  const sim::SimFlash& flash() { return target().camera->flash(); }
};

TEST_F(MemoryTransferTest, WholeImageWritesInAlignedPiecesAndReadsBackThroughOneStream) {
  Bytes image = Pattern(0x10000);
  ASSERT_TRUE(TransferMemory(0, kWrite, 0, image.data(), 0x10000, 8));

  const std::vector<FlashPiece> writes = FlashTraffic();
  ASSERT_EQ(writes.size(), 8192u);
  for (std::size_t i = 0; i < writes.size(); ++i) {
    ASSERT_EQ(writes[i], Write(static_cast<std::uint16_t>(i * 8), Slice(image, i * 8, 8))) << i;
  }
  EXPECT_TRUE(std::equal(image.begin(), image.end(), flash().content().begin()));

  world().ClearTraffic();
  Bytes back(0x10000, 0);
  ASSERT_TRUE(TransferMemory(0, kRead, 0, back.data(), 0x10000, 8));
  const std::vector<FlashPiece> reads = FlashTraffic();
  ASSERT_EQ(reads.size(), 8193u);
  EXPECT_EQ(reads[0], ReadRequest(0, 8));
  EXPECT_EQ(std::count(reads.begin(), reads.end(), ReadData()), 8192);
  EXPECT_EQ(back, image);
  EXPECT_TRUE(diagnostics().texts.empty());
}

TEST_F(MemoryTransferTest, UnalignedWritesLeadUpToTheBoundaryThenPiecesAndTail) {
  const Bytes data = Pattern(20);
  ASSERT_TRUE(TransferMemory(0, kWrite, 5, const_cast<std::uint8_t*>(data.data()), 20, 8));
  EXPECT_EQ(FlashTraffic(), (std::vector<FlashPiece>{
                                Write(5, Slice(data, 0, 3)), Write(8, Slice(data, 3, 8)),
                                Write(16, Slice(data, 11, 8)), Write(24, Slice(data, 19, 1))}));

  world().ClearTraffic();
  Bytes sixteen = Pattern(16);
  ASSERT_TRUE(TransferMemory(0, kWrite, 0x104, sixteen.data(), 16, 8));
  EXPECT_EQ(FlashTraffic(), (std::vector<FlashPiece>{Write(0x104, Slice(sixteen, 0, 4)),
                                                     Write(0x108, Slice(sixteen, 4, 8)),
                                                     Write(0x110, Slice(sixteen, 12, 4))}));
  // Exactly the 16 bytes were written, nothing around them.
  EXPECT_EQ(flash().ByteAt(0x103), 0xFF);
  EXPECT_EQ(flash().ByteAt(0x114), 0xFF);
  EXPECT_TRUE(std::equal(sixteen.begin(), sixteen.end(), flash().content().begin() + 0x104));

  world().ClearTraffic();
  Bytes two = Pattern(2);
  ASSERT_TRUE(TransferMemory(0, kWrite, 0x206, two.data(), 2, 8));
  EXPECT_EQ(FlashTraffic(), (std::vector<FlashPiece>{Write(0x206, two)}));
}

TEST_F(MemoryTransferTest, AlignedWritesSplitIntoFullPiecesAndTail) {
  Bytes data = Pattern(9);
  ASSERT_TRUE(TransferMemory(0, kWrite, 0, data.data(), 7, 8));
  ASSERT_TRUE(TransferMemory(0, kWrite, 0x40, data.data(), 9, 8));
  ASSERT_TRUE(TransferMemory(0, kWrite, 0x80, data.data(), 9, 16));  // unit taken as 8
  ASSERT_TRUE(TransferMemory(0, kWrite, 0xC1, data.data(), 3, 1));
  EXPECT_EQ(FlashTraffic(), (std::vector<FlashPiece>{
                                Write(0, Slice(data, 0, 7)), Write(0x40, Slice(data, 0, 8)),
                                Write(0x48, Slice(data, 8, 1)), Write(0x80, Slice(data, 0, 8)),
                                Write(0x88, Slice(data, 8, 1)), Write(0xC1, Slice(data, 0, 1)),
                                Write(0xC2, Slice(data, 1, 1)), Write(0xC3, Slice(data, 2, 1))}));
}

TEST_F(MemoryTransferTest, ReadsStartAnywhereAndOpenAFreshStreamForTheTail) {
  Bytes content = Pattern(0x400);
  ASSERT_TRUE(TransferMemory(0, kWrite, 0, content.data(), 0x400, 8));
  world().ClearTraffic();

  std::uint8_t one = 0;
  ASSERT_TRUE(TransferMemory(0, kRead, 0x123, &one, 1, 8));
  EXPECT_EQ(FlashTraffic(), (std::vector<FlashPiece>{ReadRequest(0x123, 1), ReadData()}));
  EXPECT_EQ(one, content[0x123]);

  world().ClearTraffic();
  Bytes twenty(20, 0);
  ASSERT_TRUE(TransferMemory(0, kRead, 0x105, twenty.data(), 20, 8));
  EXPECT_EQ(FlashTraffic(), (std::vector<FlashPiece>{ReadRequest(0x105, 8), ReadData(), ReadData(),
                                                     ReadRequest(0x115, 4), ReadData()}));
  EXPECT_EQ(twenty, Slice(content, 0x105, 20));

  world().ClearTraffic();
  Bytes five(5, 0);
  ASSERT_TRUE(TransferMemory(0, kRead, 0x30, five.data(), 5, 1));
  EXPECT_EQ(FlashTraffic(), (std::vector<FlashPiece>{ReadRequest(0x30, 1), ReadData(), ReadData(),
                                                     ReadData(), ReadData(), ReadData()}));
  EXPECT_EQ(five, Slice(content, 0x30, 5));
}

TEST_F(MemoryTransferTest, EmptyTransfersAndUnitZeroSendOneEmptyPiece) {
  std::uint8_t sentinel[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_TRUE(TransferMemory(0, kWrite, 0x13, sentinel, 0, 8));
  EXPECT_TRUE(TransferMemory(0, kRead, 0x20, sentinel, 0, 8));
  EXPECT_TRUE(TransferMemory(0, kWrite, 0x33, sentinel, 4, 0));
  EXPECT_TRUE(TransferMemory(0, kRead, 0x40, sentinel, 4, 0));
  EXPECT_EQ(FlashTraffic(),
            (std::vector<FlashPiece>{Write(0x13, {}), ReadRequest(0x20, 0), ReadData(),
                                     Write(0x33, {}), ReadRequest(0x40, 0), ReadData()}));
  EXPECT_EQ(sentinel[0], 0xEE);
  EXPECT_EQ(flash().ByteAt(0x33), 0xFF);

  // With unit 0 nothing moves, so a length reaching past 0xFFFF puts no address beyond it on the
  // wire: the empty piece still goes out.
  world().ClearTraffic();
  EXPECT_TRUE(TransferMemory(0, kWrite, 0xFFF0, sentinel, 0x100, 0));
  EXPECT_TRUE(TransferMemory(0, kRead, 0xFFFF, sentinel, 2, 0));
  EXPECT_EQ(FlashTraffic(),
            (std::vector<FlashPiece>{Write(0xFFF0, {}), ReadRequest(0xFFFF, 0), ReadData()}));
  EXPECT_EQ(sentinel[0], 0xEE);
}

TEST_F(MemoryTransferTest, ControllerMemoryReadsOneRequestPairPerPiece) {
  std::uint8_t record[8] = {};
  ASSERT_TRUE(TransferMemory(0, kMemory, 0xC7F8, record, 8, 8));
  ASSERT_EQ(traffic().size(), 2u);
  EXPECT_EQ(traffic()[0].selector, 4u);
  EXPECT_EQ(traffic()[0].sent, (Bytes{0xF8, 0xC7, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(record[i], target().camera->Memory(static_cast<std::uint16_t>(0xC7F8 + i)));
  }

  world().ClearTraffic();
  std::uint8_t eleven[11] = {};
  ASSERT_TRUE(TransferMemory(0, kMemory, 0xC7F5, eleven, 11, 8));
  ASSERT_EQ(traffic().size(), 4u);
  EXPECT_EQ(traffic()[2].sent[0], 0xFD);  // the tail at 0xC7FD
  for (int i = 0; i < 11; ++i) {
    EXPECT_EQ(eleven[i], target().camera->Memory(static_cast<std::uint16_t>(0xC7F5 + i))) << i;
  }
}

TEST_F(MemoryTransferTest, UnknownOperationsAndRangesPastSixtyFourKiBSendNothing) {
  Bytes buffer(16, 0);
  for (int operation : {0, 5, 8, 10, 0x108, 0x605}) {
    EXPECT_FALSE(TransferMemory(0, operation, 0, buffer.data(), 8, 8)) << operation;
  }
  // A transfer running past 0xFFFF would wrap round to address 0.
  EXPECT_FALSE(TransferMemory(0, kWrite, 0xFFF8, buffer.data(), 16, 8));
  EXPECT_FALSE(TransferMemory(0, kRead, 0x10000, buffer.data(), 1, 8));
  EXPECT_TRUE(traffic().empty());
  EXPECT_EQ(flash().ByteAt(0), 0xFF);

  // Only the low byte names the operation; the top of the space is still reachable.
  EXPECT_TRUE(TransferMemory(0, 0x100 | kWrite, 0xFFF8, buffer.data(), 8, 8));
  EXPECT_EQ(FlashTraffic(), (std::vector<FlashPiece>{Write(0xFFF8, Slice(buffer, 0, 8))}));
}

TEST_F(MemoryTransferTest, FailedThirdFullPieceKeepsEarlierPiecesAndSendsNothingMore) {
  target().faults.failRequestNumber = 3;
  Bytes data = Pattern(40);
  EXPECT_FALSE(TransferMemory(0, kWrite, 0, data.data(), 40, 8));

  EXPECT_EQ(traffic().size(), 3u);
  EXPECT_TRUE(std::equal(data.begin(), data.begin() + 16, flash().content().begin()));
  EXPECT_EQ(flash().ByteAt(16), 0xFF);
  EXPECT_EQ(diagnostics().texts, (std::vector<std::string>{"ReqToDriver fail 2!"}));
}

// A transfer whose n-th request fails, and the one text it must report.
struct FailurePointCase {
  const char* name;
  int operation;
  std::uint32_t address;
  std::uint32_t length;
  std::uint32_t failingRequest;
  std::size_t requestsSent;
  const char* text;
};

class FailurePointTest : public MemoryTransferTest,
                         public ::testing::WithParamInterface<FailurePointCase> {};

TEST_P(FailurePointTest, TransferStopsAtTheFailedRequestAndReportsItsPoint) {
  const FailurePointCase& c = GetParam();
  target().faults.failRequestNumber = c.failingRequest;
  Bytes buffer = Pattern(c.length);

  EXPECT_FALSE(TransferMemory(0, c.operation, c.address, buffer.data(), c.length, 8));
  EXPECT_EQ(traffic().size(), c.requestsSent);
  EXPECT_EQ(diagnostics().texts, (std::vector<std::string>{c.text}));
}

INSTANTIATE_TEST_SUITE_P(
    AllPoints, FailurePointTest,
    ::testing::Values(
        FailurePointCase{"LeadingPiece", kWrite, 5, 20, 1, 1, "ReqToDriver fail 0!"},
        FailurePointCase{"LoneReadRequest", kRead, 0x20, 1, 1, 1, "ReqToDriver fail 1!"},
        FailurePointCase{"LoneMemoryReply", kMemory, 0xC7F8, 4, 2, 2, "ReqToDriver fail 1!"},
        FailurePointCase{"StreamBeforePieces", kRead, 0x20, 16, 1, 1, "ReqToDriver fail 2!"},
        FailurePointCase{"SecondReadPiece", kRead, 0x20, 16, 3, 3, "ReqToDriver fail 2!"},
        FailurePointCase{"WriteTail", kWrite, 0, 9, 2, 2, "ReqToDriver fail 3!"},
        FailurePointCase{"TailReadRequest", kRead, 0, 9, 3, 3, "ReqToDriver fail 3!"},
        FailurePointCase{"TailReadData", kRead, 0, 9, 4, 4, "ReqToDriver fail 3!"}),
    [](const ::testing::TestParamInfo<FailurePointCase>& info) { return info.param.name; });

TEST_F(MemoryTransferTest, FailureWithoutDiagnosticsListenerStillFails) {
  Ports ports = CurrentPorts();
  ports.diagnostics = nullptr;
  InstallPorts(ports);
  target().faults.failRequestNumber = 1;
  Bytes buffer = Pattern(8);
  EXPECT_FALSE(TransferMemory(0, kWrite, 0, buffer.data(), 8, 8));
  EXPECT_TRUE(diagnostics().texts.empty());
}

}  // namespace
}  // namespace velkor::transport
