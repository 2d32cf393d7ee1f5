// The run plan of a sweep.
#include "rigs/fault_sweep/sweep_plan.h"

#include <algorithm>

namespace velkor::sweep {

namespace {

// The ends of a long phase are where its loop starts and stops: always run them.
constexpr std::uint32_t kEdgeRuns = 2;

// The slowest healthy parts: a chip erase of 30 s and a status write of 100 ms. The draws span
// from the simulator's usual times up to these; the first draw is both at their maximum.
struct MsRange {
  std::uint32_t fastest;
  std::uint32_t slowest;

  // A time in the range from random bits.
  std::uint32_t From(std::uint64_t bits) const {
    return fastest + static_cast<std::uint32_t>(bits % (slowest - fastest + 1));
  }
};
constexpr MsRange kEraseMs{800, 30000};
constexpr MsRange kStatusWriteMs{15, 100};

PlannedRun Planned(FaultKind kind, std::uint32_t index, Phase phase, std::uint32_t replyByte = 0) {
  PlannedRun run;
  run.kind = kind;
  run.index = index;
  run.phase = phase;
  run.replyByte = replyByte;
  return run;
}

bool NeedsReply(FaultKind kind) {
  return kind == FaultKind::kCorruptReply || kind == FaultKind::kGarble;
}

// A garbled reply byte: a single-bit flip on even draws, a random non-zero mask on odd ones;
// on flash and memory reads any of the eight data bytes, elsewhere the value byte.
void Garble(PlannedRun* run, std::uint32_t selector, std::uint64_t seed, std::uint32_t draw) {
  const std::uint64_t bits = Draw(seed, run->index, draw);
  run->mask = draw % 2 == 0 ? static_cast<std::uint8_t>(1u << (bits % 8))
                            : static_cast<std::uint8_t>(1 + (bits >> 8) % 255);
  run->replyByte = ValueByteOf(selector);
  if (selector == 3 || selector == 4) {
    run->replyByte += static_cast<std::uint32_t>((bits >> 16) % 8);
  }
}

Fault DrawFault(const std::vector<RequestInfo>& requests, const std::vector<FaultKind>& kinds,
                std::uint64_t seed, std::uint64_t n, std::uint32_t first, std::uint32_t last) {
  for (std::uint64_t attempt = 0;; ++attempt) {
    const std::uint64_t bits = Draw(seed, n, attempt);
    PlannedRun run = Planned(kinds[bits % kinds.size()], 0, Phase::kOpen);
    run.index = first + static_cast<std::uint32_t>((bits >> 16) % (last - first + 1));
    const RequestInfo& request = requests[run.index - 1];
    if (NeedsReply(run.kind) && !request.get) {
      continue;
    }
    if (run.kind == FaultKind::kCorruptReply) {
      run.replyByte = ValueByteOf(request.selector);
    } else if (run.kind == FaultKind::kGarble) {
      Garble(&run, request.selector, seed ^ n, static_cast<std::uint32_t>(attempt));
    } else if (run.kind == FaultKind::kSlowFlash) {
      run.eraseMs = kEraseMs.From(bits >> 24);
      run.statusWriteMs = kStatusWriteMs.From(bits >> 40);
    }
    return run.AsFault();
  }
}

}  // namespace

std::uint64_t Draw(std::uint64_t seed, std::uint64_t a, std::uint64_t b) {
  // SplitMix64 over the three inputs.
  std::uint64_t z = seed * 0x9E3779B97F4A7C15ull + a * 0xBF58476D1CE4E5B9ull + b + 1;
  for (int round = 0; round < 2; ++round) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
  }
  return z;
}

std::vector<PlannedRun> PlanRuns(const std::vector<RequestInfo>& requests,
                                 const std::vector<FaultKind>& kinds, std::uint32_t stride,
                                 std::uint32_t first, std::uint32_t last, const PlanDraws& draws) {
  stride = std::max<std::uint32_t>(stride, 1);
  const auto end = static_cast<std::uint32_t>(requests.size());
  last = last == 0 ? end : std::min(last, end);
  std::vector<PlannedRun> plan;
  for (FaultKind kind : kinds) {
    if (kind == FaultKind::kSlowFlash) {
      for (std::uint32_t d = 0; d < draws.slowDraws; ++d) {
        PlannedRun run = Planned(kind, 0, Phase::kErase);
        const std::uint64_t bits = Draw(draws.seed, 0x510F, d);
        run.eraseMs = d == 0 ? kEraseMs.slowest : kEraseMs.From(bits);
        run.statusWriteMs = d == 0 ? kStatusWriteMs.slowest : kStatusWriteMs.From(bits >> 32);
        plan.push_back(run);
      }
      continue;
    }
    // The candidate indices of this kind, split into stretches of one phase each.
    std::vector<std::uint32_t> stretch;
    auto flush = [&] {
      const auto length = static_cast<std::uint32_t>(stretch.size());
      for (std::uint32_t k = 0; k < length; ++k) {
        const std::uint32_t index = stretch[k];
        const RequestInfo& request = requests[index - 1];
        const std::uint32_t every =
            IsLongPhase(request.phase) ? stride : std::max<std::uint32_t>(draws.shortStride, 1);
        const bool sampled = k % every == 0 || k < kEdgeRuns || k + kEdgeRuns >= length;
        if (!sampled || index < first || index > last) {
          continue;
        }
        PlannedRun run = Planned(kind, index, request.phase, ValueByteOf(request.selector));
        if (kind != FaultKind::kGarble) {
          plan.push_back(run);
          continue;
        }
        for (std::uint32_t draw = 0; draw < draws.garbles; ++draw) {
          Garble(&run, request.selector, draws.seed, draw);
          plan.push_back(run);
        }
      }
      stretch.clear();
    };
    for (std::uint32_t index = 1; index <= end; ++index) {
      const RequestInfo& request = requests[index - 1];
      if (NeedsReply(kind) && !request.get) {
        continue;
      }
      if (!stretch.empty() && requests[stretch.back() - 1].phase != request.phase) {
        flush();
      }
      stretch.push_back(index);
    }
    flush();
  }
  return plan;
}

std::vector<PlannedRun> PlanDoubles(const std::vector<RequestInfo>& requests,
                                    const std::vector<FaultKind>& kinds, std::uint32_t count,
                                    std::uint64_t seed, std::uint32_t first, std::uint32_t last) {
  const auto end = static_cast<std::uint32_t>(requests.size());
  last = last == 0 ? end : std::min(last, end);
  first = std::max<std::uint32_t>(first, 1);
  std::vector<PlannedRun> plan;
  if (kinds.empty() || first > last) {
    return plan;
  }
  for (std::uint32_t n = 0; n < count; ++n) {
    Fault a = DrawFault(requests, kinds, seed, 2 * std::uint64_t{n}, first, last);
    Fault b = DrawFault(requests, kinds, seed, 2 * std::uint64_t{n} + 1, first, last);
    if (b.index < a.index) {
      std::swap(a, b);
    }
    PlannedRun run = Planned(a.kind, a.index, requests[a.index - 1].phase, a.replyByte);
    run.mask = a.mask;
    run.eraseMs = a.eraseMs;
    run.statusWriteMs = a.statusWriteMs;
    run.second = b;
    plan.push_back(run);
  }
  return plan;
}

}  // namespace velkor::sweep
