#pragma once

#include "draw_surface.h"
#include "particle_field.h"

namespace vz {

// Rebuilds both arrays from `count` and the parameters: particles at rest on
// even pixels of the client area, masses and colours by the switches.
// Reseeds the shared generator from the calendar clock first.
void Seed(ParticleField& field, const ClientRect& clientRect);

}  // namespace vz
