#include "force_registry.h"

#include <cstdlib>

#include "force.h"
#include "force_kernels.h"

namespace vz::force_detail {

namespace {

bool RunsEverywhere() { return true; }

#if defined(__x86_64__)
// The init call makes these safe even from another file's static
// initialisation. Both also check that the system saves the wider registers.
bool HasAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}
bool HasAvx512() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f");
}
#endif

// Narrowest first; the fastest one that runs here wins.
constexpr ForceKernel kKernels[] = {
    {"plain", nullptr, RunsEverywhere},
#if defined(__x86_64__)
    {"avx2", ForceAvx2, HasAvx2},
    {"avx512", ForceAvx512, HasAvx512},
#endif
};

// The whole pass's layout, one per thread.
thread_local ScratchBlock tScratch;

}  // namespace

std::span<const ForceKernel> AllForceKernels() { return kKernels; }

const ForceKernel* FindRunnableKernel(std::string_view name) {
  for (const ForceKernel& k : kKernels) {
    if (name == k.name) return k.runsHere() ? &k : nullptr;
  }
  return nullptr;
}

const ForceKernel& KernelForRequest(const char* request) {
  if (request != nullptr) {
    if (const ForceKernel* k = FindRunnableKernel(request)) return *k;
  }
  return FastestKernel();
}

const ForceKernel& ProcessKernel() {
  static const ForceKernel& kernel = KernelForRequest(std::getenv("VIVEDAZIV_FORCE_KERNEL"));
  return kernel;
}

void RunWholePass(const ForceKernel& kernel, Particle* particles, std::int32_t n,
                  const SimParams& p) {
  // One particle or none: no pairs, nothing changes.
  if (kernel.vector == nullptr || n < 2) {
    ForcePassPlain(particles, n, p);
    return;
  }
  ForceLayout layout;
  if (!FillLayout(particles, n, tScratch, layout)) {
    ForcePassPlain(particles, n, p);
    return;
  }
  kernel.vector(layout, p, 0, n, 0, n);
  WriteVelocitiesBack(layout, particles);
}

}  // namespace vz::force_detail
