// Fuzz target for the reply side: the whole updater (headless dialog, virtual clock) against a
// simulated camera of any chip row whose answers to GET requests and set-support probes come
// from the input, result code and reply bytes alike. A run must end cleanly with a verdict of
// the updater's, whatever the camera answers.
//
// Input: byte 0 picks the chip row (bits 1..7, modulo the row count) and what happens once the
// input is used up (bit 0: every request then fails as on a camera gone; clear: the simulated
// camera answers on its own). Then records of 4 bytes plus payload: a 16-bit count of GETs and
// probes to leave alone, a result code, n (modulo 13), and n bytes that replace the start of
// the next reply.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "rigs/sim/sim_controller_chip_rows.h"
#include "rigs/sim/sim_world.h"
#include "rigs/fault_sweep/run_judge.h"
#include "rigs/fault_sweep/sweep_world.h"

namespace {

using namespace velkor;

constexpr HResult kCodes[] = {hr::kOk,
                              hr::kFalse,
                              hr::kFail,
                              hr::kNotFound,
                              hr::kDeviceNotConnected,
                              hr::kInvalidArgument,
                              hr::kTimeout,
                              static_cast<HResult>(0x7FFFFFFF)};
constexpr std::size_t kCodeCount = sizeof kCodes / sizeof kCodes[0];

class ReplyScript {
 public:
  ReplyScript(const std::uint8_t* data, std::size_t size, bool silentTail)
      : data_(data), size_(size), silentTail_(silentTail) {
    Load();
  }

  HResult Answer(const KsPropertyNode& property, std::uint8_t* payload, std::uint32_t length,
                 HResult result) {
    if (exhausted_) {
      return silentTail_ ? hr::kDeviceNotConnected : result;
    }
    if ((property.flags & (ks::kTypeGet | ks::kTypeSetSupport)) == 0) {
      return result;
    }
    if (skip_ > 0) {
      --skip_;
      return result;
    }
    // Code bytes past the table keep the camera's own answer.
    const HResult answer = code_ < kCodeCount ? kCodes[code_] : result;
    if (payload != nullptr) {
      std::memcpy(payload, bytes_, std::min<std::size_t>(count_, length));
    }
    Load();
    return answer;
  }

 private:
  void Load() {
    if (size_ - position_ < 4) {
      exhausted_ = true;
      return;
    }
    const std::uint8_t* header = data_ + position_;
    skip_ = static_cast<std::uint32_t>(header[0] | (header[1] << 8));
    code_ = header[2];
    position_ += 4;
    count_ = std::min<std::size_t>(header[3] % 13, size_ - position_);
    bytes_ = data_ + position_;
    position_ += count_;
  }

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
  bool silentTail_;
  bool exhausted_ = false;
  std::uint32_t skip_ = 0;
  std::size_t code_ = 0;
  std::size_t count_ = 0;
  const std::uint8_t* bytes_ = nullptr;
};

// Every run writes "Result.log" into the current directory: one of our own keeps them apart.
// The fuzzer's own directory is given back after each run, as it resolves its paths there.
class ScratchDirectory {
 public:
  ScratchDirectory() : previous_(std::filesystem::current_path()) {
    static const std::filesystem::path directory = [] {
      auto path = std::filesystem::temp_directory_path() /
                  ("velkor-reply-fuzz-" + std::to_string(::getpid()));
      std::filesystem::create_directories(path);
      return path;
    }();
    std::filesystem::current_path(directory);
  }
  ~ScratchDirectory() { std::filesystem::current_path(previous_); }

 private:
  std::filesystem::path previous_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const ScratchDirectory scratch;
  const int row = (data[0] >> 1) % sim::kSimChipRowCount;
  ReplyScript script(data + 1, size - 1, (data[0] & 1) != 0);
  // A short erase keeps the status polls, and each run, short: the fuzzer's time goes to the
  // answers rather than to thousands of alike polls.
  sweep::SweepTarget target = sweep::MakeTarget(row);
  target.chipEraseMs = 20;
  const sweep::RunRecord record = sweep::RunOnce(
      target, std::nullopt, sweep::UpdaterProgram(), nullptr, [&script](sim::SimWorld& world) {
        world.SetReplyHook([&script](int, const KsPropertyNode& property, std::uint8_t* payload,
                                     std::uint32_t length, HResult result) {
          return script.Answer(property, payload, length, result);
        });
      });
  // Replies may lie about the flash and its protection, so only the run's own end is judged.
  const sweep::DefectSet defects =
      sweep::Judge({sweep::ChildEnd::Kind::kReported, 0, false}, record, "Pass\r\nR06.00.01\r\n");
  const sweep::DefectSet ownEnd = sweep::Bit(sweep::Defect::kCrash) |
                                  sweep::Bit(sweep::Defect::kHang) |
                                  sweep::Bit(sweep::Defect::kNoVerdict);
  if ((defects & ownEnd) != 0) {
    std::fprintf(stderr, "chip row %d: exit code %d, %s, verdict of %u bytes\n", row,
                 record.exitCode, record.stalled ? "stalled" : "not stalled",
                 record.hasVerdict ? record.verdictLength : 0u);
    std::abort();
  }
  return 0;
}
