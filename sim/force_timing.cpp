// Times every force kernel this processor runs, to use the fastest.
#include <algorithm>
#include <chrono>
#include <iterator>
#include <vector>

#include "force_registry.h"

namespace vz::force_detail {

namespace {

// Which kernel is fastest depends on the processor, not just on what it
// offers (a wider division can be slower per element), so each one that runs
// here is timed on a small field, interleaved, best of several rounds. Once
// per process; a millisecond or two.
const ForceKernel& TimeEveryKernel() {
  constexpr std::int32_t kParticles = 64;  // about 4000 pairs a pass
  constexpr int kRounds = 5;
  constexpr int kPasses = 6;
  Particle field[kParticles];
  for (std::int32_t i = 0; i < kParticles; ++i) {
    field[i] = {0.0, 0.0, 13.0 * (i % 17) + 0.5 * i, 7.0 * (i % 23) + 0.25 * i, 1.0 + (i % 5)};
  }
  SimParams p;
  p.gravity = 2.0;
  p.friction = 1;
  p.mu = 0.999;
  p.evenOdd = 1;
  p.bounce = 1;
  using Clock = std::chrono::steady_clock;
  const std::span<const ForceKernel> kernels = AllForceKernels();
  std::vector<Clock::duration> best(kernels.size(), Clock::duration::max());
  for (int round = 0; round < kRounds; ++round) {
    for (std::size_t k = 0; k < kernels.size(); ++k) {
      if (!kernels[k].runsHere()) continue;
      Particle q[kParticles];
      std::copy(std::begin(field), std::end(field), q);
      const auto start = Clock::now();
      for (int pass = 0; pass < kPasses; ++pass) RunWholePass(kernels[k], q, kParticles, p);
      best[k] = std::min(best[k], Clock::now() - start);
    }
  }
  std::size_t fastest = 0;
  for (std::size_t k = 1; k < kernels.size(); ++k) {
    if (best[k] < best[fastest]) fastest = k;
  }
  return kernels[fastest];
}

}  // namespace

const ForceKernel& FastestKernel() {
  static const ForceKernel& fastest = TimeEveryKernel();
  return fastest;
}

}  // namespace vz::force_detail
