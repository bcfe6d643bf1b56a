#pragma once

#include <cstdint>

namespace vz {

// The saver's rule for pointer positions, whatever the window system: the
// first position seen is recorded in (firstX, firstY), which hold −1, −1
// while none is; a later one differing from it in either coordinate is a
// sign of the user. The record never moves, so a pointer brought back to it
// after other moves still compares with the first.
inline bool PointerMovedAway(std::int32_t& firstX, std::int32_t& firstY, std::int32_t x,
                             std::int32_t y) {
  if (firstX == -1 && firstY == -1) {
    firstX = x;
    firstY = y;
    return false;
  }
  return x != firstX || y != firstY;
}

}  // namespace vz
