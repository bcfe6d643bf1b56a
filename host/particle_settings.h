#pragma once

#include "particle_field.h"

namespace vz {

// Reads the stored entries, with the particle window's defaults, into the
// field's count and parameters. The section is the application's name.
void LoadParticleSettings(ParticleField& field);

}  // namespace vz
