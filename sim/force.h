#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "particle_field.h"

namespace vz {

// The force pass over `n` particles: velocities change, positions do not.
// Pairs are visited i ascending, then the other index ascending, because
// friction makes the order part of the result.
void ForcePassPlain(Particle* particles, std::int32_t n, const SimParams& p);

// Same results bit for bit, using the kernel that ran fastest on this
// processor when timed at first use; falls back to the plain loop.
void ForcePass(Particle* particles, std::int32_t n, const SimParams& p);

// Name of the kernel ForcePass uses: the fastest this processor runs, or the
// one VIVEDAZIV_FORCE_KERNEL (plain, avx2, avx512) names when it can run here.
// Chosen once, on first use.
const char* ForceKernelName();

// The kernel ForcePass would use if VIVEDAZIV_FORCE_KERNEL held `request`
// (null when unset); an unknown name or one this processor cannot run is
// ignored.
const char* ChooseForceKernel(const char* request);

// Every kernel this processor runs, "plain" first.
std::vector<const char*> AvailableForceKernels();

// Runs the named kernel; returns false and leaves the particles alone when it
// is unknown or this processor cannot run it.
bool ForcePassWith(std::string_view kernel, Particle* particles, std::int32_t n,
                   const SimParams& p);

}  // namespace vz
