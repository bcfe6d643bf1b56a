#pragma once

// The force kernels this build holds, which of them a process uses, and a
// whole pass with one of them. For the force pass and its job only.

#include <cstdint>
#include <span>
#include <string_view>

#include "force_layout.h"
#include "particle_field.h"

namespace vz::force_detail {

using VectorKernel = void (*)(const ForceLayout&, const SimParams&, std::int32_t, std::int32_t,
                              std::int32_t, std::int32_t);

struct ForceKernel {
  const char* name;
  VectorKernel vector;  // null for the plain loop
  bool (*runsHere)();
};

// Narrowest first, so "plain" comes first.
std::span<const ForceKernel> AllForceKernels();

// The named kernel when this processor runs it; null otherwise.
const ForceKernel* FindRunnableKernel(std::string_view name);

// The kernel `request` names when it runs here, else the fastest.
const ForceKernel& KernelForRequest(const char* request);

// The kernel of this process: the one VIVEDAZIV_FORCE_KERNEL names, or the
// fastest; chosen once, on first use.
const ForceKernel& ProcessKernel();

// The fastest kernel that runs here, timed once per process.
const ForceKernel& FastestKernel();

// A whole pass with `kernel`; the plain loop when it has no vector code or
// its memory cannot be had.
void RunWholePass(const ForceKernel& kernel, Particle* particles, std::int32_t n,
                  const SimParams& p);

}  // namespace vz::force_detail
