#pragma once

#include <cstdint>

#include "particle_field.h"

namespace vz {

struct ClientRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
};

// What the step needs of a window.
class DrawSurface {
 public:
  virtual ~DrawSurface() = default;
  virtual ClientRect GetClientRect() const = 0;
  // Obtains the drawing context for one tick; false when none can be had.
  virtual bool BeginDraw() = 0;
  virtual void EndDraw() = 0;
  // Fills [x, x + w) × [y, y + h). Implementations must clip and must cope
  // with any 32-bit x and y.
  virtual void FillSolidRect(std::int32_t x, std::int32_t y, std::int32_t w,
                             std::int32_t h, Colour colour) = 0;
};

}  // namespace vz
