#pragma once

#include <climits>
#include <cstdint>

namespace vz {

// The interval between ticks for a stored delay: its 32 bits as unsigned
// milliseconds, at least 10 (never a busy loop) and at most what a timer can
// hold.
constexpr int TickIntervalMs(std::int32_t delay) {
  const auto ms = static_cast<std::uint32_t>(delay);
  if (ms < 10) return 10;
  if (ms > static_cast<std::uint32_t>(INT_MAX)) return INT_MAX;
  return static_cast<int>(ms);
}

}  // namespace vz
