#pragma once

// How the vector kernels see the particles: side by side in aligned arrays.
// Shared by the force pass, its job and the kernels only.

#include <cstddef>
#include <cstdint>
#include <new>

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

inline constexpr std::size_t kLayoutAlign = 64;

// One growing block, kept between calls so a tick allocates nothing once
// the field has been seen.
class ScratchBlock {
 public:
  ScratchBlock() = default;
  ScratchBlock(const ScratchBlock&) = delete;
  ScratchBlock& operator=(const ScratchBlock&) = delete;
  ~ScratchBlock() { Free(); }

  // Null when the memory cannot be had; the caller then uses the plain loop.
  unsigned char* Get(std::size_t bytes) {
    if (bytes <= size_) return data_;
    Free();
    data_ = static_cast<unsigned char*>(
        ::operator new (bytes, std::align_val_t{kLayoutAlign}, std::nothrow));
    if (data_ != nullptr) size_ = bytes;
    return data_;
  }

 private:
  void Free() {
    if (data_ != nullptr) ::operator delete (data_, std::align_val_t{kLayoutAlign});
    data_ = nullptr;
    size_ = 0;
  }

  unsigned char* data_ = nullptr;
  std::size_t size_ = 0;
};

// Fills `layout` from the particles in `scratch`; false when the memory is
// not available (the caller then uses the plain loop).
bool FillLayout(const Particle* q, std::int32_t n, ScratchBlock& scratch, ForceLayout& layout);

// The layout's velocities into the particles.
void WriteVelocitiesBack(const ForceLayout& layout, Particle* particles);

}  // namespace vz::force_detail
