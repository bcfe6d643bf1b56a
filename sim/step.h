#pragma once

#include "draw_surface.h"
#include "particle_field.h"

namespace vz {

// One tick: forces, motion, walls, then erase and draw 4 × 4 squares.
void Step(ParticleField& field, DrawSurface& surface);

// Truncates a position toward zero for drawing; false when it lies outside
// the 32-bit range (or is not a number), where nothing could be visible.
bool ToPixel(double v, std::int32_t& out);

}  // namespace vz
