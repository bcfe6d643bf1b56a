#pragma once

// The vector kernels, for the force pass and its job only.

#include <cstdint>

#include "force_layout.h"
#include "particle_field.h"

namespace vz::force_detail {

// Runs kernel.template operator()<kTable, kBounce, kFriction>() with the
// ratio table, bounce and friction switches fixed at compile time, so no
// kernel loop branches on them.
template <class Kernel>
void WithSwitches(const ForceLayout& layout, const SimParams& p, Kernel&& kernel) {
  auto friction = [&]<bool kTable, bool kBounce>() {
    if (p.friction) {
      kernel.template operator()<kTable, kBounce, true>();
    } else {
      kernel.template operator()<kTable, kBounce, false>();
    }
  };
  auto bounce = [&]<bool kTable>() {
    if (p.bounce) {
      friction.template operator()<kTable, true>();
    } else {
      friction.template operator()<kTable, false>();
    }
  };
  if (layout.classes > 0) {
    bounce.template operator()<true>();
  } else {
    bounce.template operator()<false>();
  }
}

// Each kernel runs the rows i in [i0, i1) against the others k in [k0, k1),
// k ascending, carrying every row's velocity over from the last call; i0 is
// a multiple of kMaxLanes. Any split of a pass into such calls, rows in any
// order and each row's k ranges in ascending order, gives the same bits as
// the whole pass: a row reads positions and masses only, never another
// row's velocity.
void ForcePlainRows(Particle* particles, const SimParams& p, std::int32_t i0, std::int32_t i1,
                    std::int32_t k0, std::int32_t k1);
#if defined(__x86_64__)
void ForceAvx2(const ForceLayout& layout, const SimParams& p, std::int32_t i0, std::int32_t i1,
               std::int32_t k0, std::int32_t k1);
void ForceAvx512(const ForceLayout& layout, const SimParams& p, std::int32_t i0, std::int32_t i1,
                 std::int32_t k0, std::int32_t k1);
#endif

}  // namespace vz::force_detail
