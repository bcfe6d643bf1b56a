#pragma once

#include <cstdint>

#include "particle_field.h"

namespace vz {

// The most particles a stored count gives a window.
inline constexpr std::int32_t kMaxParticles = 1000000;

// Reads the stored entries, with the particle window's defaults, into the
// field's count and parameters. The section is the application's name. A
// count beyond kMaxParticles gives kMaxParticles, and a line on stderr.
void LoadParticleSettings(ParticleField& field);

}  // namespace vz
