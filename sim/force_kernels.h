#pragma once

// Shared by the force dispatcher and the vector kernels only.

#include <cstdint>

#include "particle_field.h"

namespace vz::force_detail {

// The widest vector any kernel uses, in doubles; scratch arrays are padded
// to a multiple of it so a kernel may always load whole vectors.
constexpr std::int32_t kMaxLanes = 8;

// Above this many distinct masses the per-block ratio table stops paying
// for itself (and would no longer sit comfortably in L1).
constexpr std::int32_t kMaxMassClasses = 128;

// One call's particles side by side. Lanes run over i, so a kernel loads a
// block of x, y, m for its lanes and broadcasts the other particle's values.
struct ForceLayout {
  std::int32_t n = 0;
  // 64-byte aligned, padded past n with x = y = 0, m = 1 so the spare lanes
  // compute harmless values that are never written back.
  const double* x = nullptr;
  const double* y = nullptr;
  const double* m = nullptr;
  // Velocities in and out.
  double* vx = nullptr;
  double* vy = nullptr;

  // With classes > 0, masses come from few distinct values: classMass holds
  // them (one per class), and massRow[k] = 2 * class(k) + (k & 1) picks the
  // row of a block's ratio table. A kernel fills `ratios` per block with
  // m(class) / m(i) for each lane, by the same division the plain loop uses,
  // so every pair can load its ratio instead of dividing.
  std::int32_t classes = 0;
  const double* classMass = nullptr;
  const std::int32_t* massRow = nullptr;
  double* ratios = nullptr;  // 2 * kMaxMassClasses * kMaxLanes, aligned
};

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
