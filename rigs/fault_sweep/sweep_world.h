// One run of a whole program against a simulated write-protected camera of a chosen chip row,
// with at most one request fault, in the calling process: the headless dialog on the world's
// virtual clock, the image as the module's resource, "Result.log" in the current directory.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "rigs/sim/sim_world.h"
#include "rigs/fault_sweep/sweep_types.h"

namespace velkor::sweep {

// The camera and the two images of a sweep. Both images carry, at every address any chip row
// reads them from, a configuration that names the board's write-protect pin and asks for the
// protection back after the update.
struct SweepTarget {
  int chipRow = 17;
  std::vector<std::uint8_t> oldImage;
  std::vector<std::uint8_t> image;
  // The flash's chip-erase time on the virtual clock; the host polls its status meanwhile.
  std::uint32_t chipEraseMs = 800;
  std::uint32_t busyPolls = 0;
};
SweepTarget MakeTarget(int chipRow);

struct Fault {
  FaultKind kind;
  std::uint32_t index;          // the request it hits, counted from 1 as the world counts
  std::uint32_t replyByte = 0;  // kCorruptReply, kGarble: which payload byte is changed...
  std::uint8_t mask = 0xFF;     // ...by XOR with this (kGarble; kCorruptReply inverts)
  std::uint32_t eraseMs = 0;    // kSlowFlash: the flash's chip-erase and status-write times
  std::uint32_t statusWriteMs = 0;
};

// Which second runs follow a faulted run (see RunRecord).
struct Rerun {
  bool attached = false;
  bool replugged = false;
};

// The program under test: it runs as the process's main thread and returns (or exits with)
// the exit code. The updater itself by default.
using Program = std::function<int()>;
Program UpdaterProgram();

// Runs the program once and reports its end state. traffic, when given, receives the camera's
// request log (logging costs time; the sweep asks for it only in its clean run). prepare, when
// given, adjusts the world before the program starts.
RunRecord RunOnce(const SweepTarget& target, const std::optional<Fault>& fault,
                  const Program& program, std::vector<sim::TrafficRecord>* traffic = nullptr,
                  const std::function<void(sim::SimWorld&)>& prepare = {});

// Runs the program with every fault in `faults` and then, as `rerun` asks, once more without a
// fault from the camera state the first run left: as left, and re-plugged. A camera that the
// fault unplugged has lost power: its second runs start re-plugged.
RunRecord RunFaulted(const SweepTarget& target, const std::vector<Fault>& faults,
                     const Program& program, const Rerun& rerun);

// How many requests in a row a burst kind loses (1 for the other kinds).
std::uint32_t BurstLength(FaultKind kind);

// Which payload byte carries the value of a GET reply on a selector: the register value, the
// first data byte of a flash or memory read, the flash mode.
std::uint32_t ValueByteOf(std::uint32_t selector);

}  // namespace velkor::sweep
