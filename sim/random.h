#pragma once

#include <cstdint>
#include <functional>

namespace vz {

// The classic linear congruential generator: 0..32767 per draw.
class Random {
 public:
  void Reseed(std::uint32_t seed) { state_ = seed; }
  int Next() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7FFF);
  }
  std::uint32_t State() const { return state_; }

 private:
  std::uint32_t state_ = 1;
};

// The one generator of the user-interface thread, shared by every field.
Random& UiRandom();

// Calendar time in whole seconds since 1970; replaceable so runs can be
// repeated exactly. Passing an empty function restores the real clock.
using TimeSource = std::function<std::int64_t()>;
void SetTimeSource(TimeSource source);
std::int64_t CalendarSeconds();

}  // namespace vz
