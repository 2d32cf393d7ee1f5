// The requests the programs send, pinned: a whole update by the updater and by the service
// tool's write (with and without a backup) on every chip row of the simulated camera, clean
// and with a failed request or an unplug at sampled points, each run's request log reduced to
// a checksum and compared with request_traces.txt. A change of any byte, flag, node or order
// of what the camera receives shows here, whatever the change was meant to do.
//
// After a deliberate change of the requests, rewrite the file with
// VELKOR_RECORD_REQUEST_TRACES=1 and review its diff.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "rigs/sim/sim_controller_chip_rows.h"
#include "rigs/fault_sweep/phase_map.h"
#include "rigs/fault_sweep/sweep_world.h"
#include "service/tool_main.h"

namespace velkor {
namespace {

// FNV-1a, 64 bits: a change anywhere in the log changes the sum.
class TraceSum {
 public:
  void Add(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i) {
      sum_ = (sum_ ^ bytes[i]) * 0x100000001B3ull;
    }
  }
  void Add32(std::uint32_t value) {
    const std::uint8_t bytes[4] = {
        static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
        static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    Add(bytes, sizeof bytes);
  }
  // One request: which device, selector, flags, node, and the payload as sent.
  void Add(const sim::TrafficRecord& record) {
    Add32(static_cast<std::uint32_t>(record.device));
    Add32(record.selector);
    Add32(record.flags);
    Add32(record.nodeId);
    Add32(static_cast<std::uint32_t>(record.sent.size()));
    Add(record.sent.data(), record.sent.size());
  }
  std::string Hex() const {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(sum_));
    return text;
  }

 private:
  std::uint64_t sum_ = 0xCBF29CE484222325ull;
};

enum class Program { kUpdater, kToolWrite, kToolWriteBackup };

// As the checksum file names them.
const char* ProgramName(Program program) {
  constexpr const char* kNames[] = {"updater", "tool-write", "tool-write-backup"};
  return kNames[static_cast<int>(program)];
}

void PrintTo(Program program, std::ostream* out) {
  *out << ProgramName(program);
}

// Runs in a scratch directory of its own: the updater leaves Result.log there, the tool reads
// its image from there and leaves its backup there.
class ScratchDirectory {
 public:
  ScratchDirectory() : previous_(std::filesystem::current_path()) {
    path_ = std::filesystem::temp_directory_path() /
            ("velkor-request-trace-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(path_);
    std::filesystem::current_path(path_);
  }
  ~ScratchDirectory() {
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(path_);
  }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

sweep::Program MakeProgram(Program program, const sweep::SweepTarget& target) {
  if (program == Program::kUpdater) {
    return sweep::UpdaterProgram();
  }
  std::ofstream("image.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(target.image.data()),
             static_cast<std::streamsize>(target.image.size()));
  std::vector<std::string> args = {"write", "image.bin"};
  if (program == Program::kToolWriteBackup) {
    args.insert(args.end(), {"--backup", "backup.bin"});
  }
  return [args] {
    std::filesystem::remove("backup.bin");
    tool::ToolEnvironment environment;
    environment.program = "velkor-tool";
    environment.out = std::tmpfile();
    environment.err = std::tmpfile();
    const int code = tool::RunTool(args, environment);
    std::fclose(environment.out);
    std::fclose(environment.err);
    return code;
  };
}

struct Traced {
  sweep::RunRecord record;
  std::vector<sim::TrafficRecord> traffic;
};

Traced RunTraced(Program program, int row, const std::optional<sweep::Fault>& fault) {
  const sweep::SweepTarget target = sweep::MakeTarget(row);
  Traced traced;
  traced.record = sweep::RunOnce(target, fault, MakeProgram(program, target), &traced.traffic);
  return traced;
}

// The fault points of a row: densely where the requests are few and alike runs are short
// (open, identify, release, erase start; restore and close), sparsely inside the long
// transfers, where one request is like its neighbours.
std::vector<std::uint32_t> FaultPoints(std::uint32_t counted) {
  constexpr std::uint32_t kDenseWindow = 240;
  constexpr std::uint32_t kDenseStride = 7;
  constexpr std::uint32_t kSparseStride = 1021;
  std::vector<std::uint32_t> points;
  for (std::uint32_t i = 1; i <= counted; ++i) {
    const bool dense = i <= kDenseWindow || i + kDenseWindow > counted;
    if (i % (dense ? kDenseStride : kSparseStride) == 1) {
      points.push_back(i);
    }
  }
  return points;
}

std::uint32_t CountedRequests(const std::vector<sim::TrafficRecord>& traffic) {
  std::uint32_t counted = 0;
  for (const sim::TrafficRecord& record : traffic) {
    counted += sweep::CountedRequest(record) ? 1 : 0;
  }
  return counted;
}

std::string VerdictText(const sweep::RunRecord& record) {
  if (!record.hasVerdict) {
    return "none";
  }
  std::string text(record.verdict, record.verdictLength);
  for (char& c : text) {
    c = (c == '\r' || c == '\n' || c == ' ') ? '_' : c;
  }
  return text;
}

// The checked-in sums, keyed by "program row kind".
std::map<std::string, std::string> ReadGolden() {
  std::map<std::string, std::string> golden;
  std::ifstream file(VELKOR_REQUEST_TRACE_FILE);
  std::string line;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') {
      continue;
    }
    std::istringstream fields(line);
    std::string program, row, kind, rest;
    fields >> program >> row >> kind;
    std::getline(fields, rest);
    golden[program + " " + row + " " + kind] = rest;
  }
  return golden;
}

// With VELKOR_RECORD_REQUEST_TRACES set, the sums measured in this process are merged into the
// file when the process ends (run the executable itself: CTest runs one case per process).
std::map<std::string, std::string>& Measured() {
  static std::map<std::string, std::string> measured;
  return measured;
}

class RecordTraces : public ::testing::Environment {
 public:
  void TearDown() override {
    if (std::getenv("VELKOR_RECORD_REQUEST_TRACES") == nullptr || Measured().empty()) {
      return;
    }
    std::map<std::string, std::string> all = ReadGolden();
    for (const auto& [key, value] : Measured()) {
      all[key] = value;
    }
    std::ofstream file(VELKOR_REQUEST_TRACE_FILE);
    file << "# Request-log checksums of whole runs on the simulated camera (request_trace_test).\n"
            "# program row kind: counted-requests exit verdict fnv1a64 (clean), or\n"
            "# runs fnv1a64 over every faulted run's log, exit and verdict (fail, unplug).\n";
    for (const auto& [key, value] : all) {
      file << key << value << "\n";
    }
  }
};
::testing::Environment* const kRecordTraces = ::testing::AddGlobalTestEnvironment(new RecordTraces);

class RequestTraces : public ::testing::Test {
 protected:
  // Records the measured value, prints it, and compares it with the checked-in one.
  static void Check(const std::string& key, const std::string& value) {
    Measured()[key] = value;
    std::printf("trace %s:%s\n", key.c_str(), value.c_str());
    static const std::map<std::string, std::string> golden = ReadGolden();
    const auto it = golden.find(key);
    if (it == golden.end()) {
      ADD_FAILURE() << "no checksum recorded for " << key;
      return;
    }
    EXPECT_EQ(value, it->second) << key;
  }
};

class CleanUpdate : public RequestTraces,
                    public ::testing::WithParamInterface<std::tuple<Program, int>> {};

TEST_P(CleanUpdate, SendsTheRecordedRequests) {
  const auto [program, row] = GetParam();
  ScratchDirectory scratch;
  const Traced traced = RunTraced(program, row, std::nullopt);
  TraceSum sum;
  for (const sim::TrafficRecord& record : traced.traffic) {
    sum.Add(record);
  }
  // A clean run is a successful update; only then does its log say what an update sends.
  EXPECT_EQ(traced.record.exitCode, 0);
  EXPECT_EQ(traced.record.flash, sweep::FlashContent::kImage);
  EXPECT_TRUE(traced.record.writeProtectLow);
  if (program == Program::kUpdater) {
    EXPECT_EQ(VerdictText(traced.record), "Pass__R06.00.01__");
  }
  Check(std::string(ProgramName(program)) + " " + std::to_string(row) + " clean",
        " " + std::to_string(CountedRequests(traced.traffic)) + " " +
            std::to_string(traced.record.exitCode) + " " + VerdictText(traced.record) + " " +
            sum.Hex());
}

INSTANTIATE_TEST_SUITE_P(EveryRow, CleanUpdate,
                         ::testing::Combine(::testing::Values(Program::kUpdater,
                                                              Program::kToolWrite,
                                                              Program::kToolWriteBackup),
                                            ::testing::Range(0, sim::kSimChipRowCount)),
                         [](const auto& info) {
                           std::string name = ProgramName(std::get<0>(info.param));
                           std::erase(name, '-');
                           return name + "_row" + std::to_string(std::get<1>(info.param));
                         });

// Failure paths: a lost request or an unplug at sampled points of the run, on a row whose host
// erases the flash, one whose controller erases it, and the one with the flash-mode query.
class FaultedUpdate
    : public RequestTraces,
      public ::testing::WithParamInterface<std::tuple<Program, int, sweep::FaultKind>> {};

TEST_P(FaultedUpdate, SendsTheRecordedRequests) {
  const auto [program, row, kind] = GetParam();
  ScratchDirectory scratch;
  const std::uint32_t counted = CountedRequests(RunTraced(program, row, std::nullopt).traffic);
  const std::vector<std::uint32_t> points = FaultPoints(counted);
  TraceSum sum;
  for (std::uint32_t index : points) {
    const Traced traced = RunTraced(program, row, sweep::Fault{kind, index});
    for (const sim::TrafficRecord& record : traced.traffic) {
      sum.Add(record);
    }
    sum.Add32(static_cast<std::uint32_t>(traced.record.exitCode));
    const std::string verdict = VerdictText(traced.record);
    sum.Add(verdict.data(), verdict.size());
  }
  Check(std::string(ProgramName(program)) + " " + std::to_string(row) + " " +
            sweep::FaultKindName(kind),
        " " + std::to_string(points.size()) + " " + sum.Hex());
}

INSTANTIATE_TEST_SUITE_P(
    SampledRows, FaultedUpdate,
    ::testing::Combine(
        ::testing::Values(Program::kUpdater, Program::kToolWrite, Program::kToolWriteBackup),
        ::testing::Values(0, 17, 18),
        ::testing::Values(sweep::FaultKind::kFailedRequest, sweep::FaultKind::kUnplug)),
    [](const auto& info) {
      std::string name = ProgramName(std::get<0>(info.param));
      std::erase(name, '-');
      return name + "_row" + std::to_string(std::get<1>(info.param)) + "_" +
             (std::get<2>(info.param) == sweep::FaultKind::kUnplug ? "unplug" : "fail");
    });

}  // namespace
}  // namespace velkor
