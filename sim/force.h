#pragma once

#include <cstdint>

#include "particle_field.h"

namespace vz {

// The force pass over `n` particles: velocities change, positions do not.
// Pairs are visited i ascending, then the other index ascending, because
// friction makes the order part of the result.
void ForcePassPlain(Particle* particles, std::int32_t n, const SimParams& p);

// Same results bit for bit, using the widest vector kernel the processor
// offers; falls back to the plain loop.
void ForcePass(Particle* particles, std::int32_t n, const SimParams& p);

// Name of the kernel ForcePass picks on this machine.
const char* ForceKernelName();

}  // namespace vz
