// Force pass with four i side by side in the lanes of a 256-bit vector.
// Each lane walks k in ascending order exactly like the plain loop and uses
// the same operations in the same order, so results match it bit for bit.
// Nothing here may fuse a multiply and an add.
#include "force_kernels.h"

#if defined(__x86_64__)

#include <immintrin.h>

#include <algorithm>
#include <cstdint>

#define VZ_AVX2 __attribute__((target("avx2")))
#define VZ_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace vz::force_detail {

namespace {

constexpr std::int32_t kLanes = 4;
static_assert(kLanes <= kMaxLanes);

// All ones in the lane whose i equals k, for k inside the block.
alignas(32) constexpr std::int64_t kSelfLane[kLanes][kLanes] = {
    {-1, 0, 0, 0}, {0, -1, 0, 0}, {0, 0, -1, 0}, {0, 0, 0, -1}};

// When both operands are NaN, x86 returns the first source's NaN, so the
// order of a commutative operation shows in the result. The compiler may
// swap the operands of a vector add or multiply; these pin the order the
// plain loop is written in: `a` is the first source.
VZ_AVX2_INLINE __m256d AddInOrder(__m256d a, __m256d b) {
  __m256d r;
  asm("vaddpd %2, %1, %0" : "=x"(r) : "x"(a), "x"(b));
  return r;
}

VZ_AVX2_INLINE __m256d MulInOrder(__m256d a, __m256d b) {
  __m256d r;
  asm("vmulpd %2, %1, %0" : "=x"(r) : "x"(a), "x"(b));
  return r;
}

struct Lanes {
  __m256d xi, yi, mi;
  __m256d vx, vy;
  __m256d massless;  // all ones where m(i) == 0
  __m256d flip[2];   // sign bit where i has the parity of k (k & 1), under evenOdd
};

// One pair per lane: k against the block's four i. With kSelf, k lies in
// the block and its own lane must stay untouched.
template <bool kTable, bool kBounce, bool kFriction, bool kSelf>
VZ_AVX2_INLINE void Pair(Lanes& s, const ForceLayout& L, const SimParams& p, std::int32_t k,
                         std::int32_t i0) {
  const __m256d zero = _mm256_setzero_pd();
  const __m256d sign = _mm256_set1_pd(-0.0);

  const __m256d dx = _mm256_sub_pd(s.xi, _mm256_broadcast_sd(L.x + k));
  const __m256d dy = _mm256_sub_pd(s.yi, _mm256_broadcast_sd(L.y + k));
  const __m256d d2 = AddInOrder(_mm256_mul_pd(dx, dx), _mm256_mul_pd(dy, dy));

  __m256d h;
  if constexpr (kTable) {
    h = _mm256_load_pd(L.ratios + L.massRow[k] * kLanes);
  } else {
    h = _mm256_div_pd(_mm256_broadcast_sd(L.m + k), s.mi);
    h = _mm256_blendv_pd(h, _mm256_set1_pd(kMasslessRatio), s.massless);
    h = _mm256_xor_pd(h, s.flip[k & 1]);
  }

  const __m256d g = _mm256_set1_pd(p.gravity);
  const __m256d ux = MulInOrder(_mm256_div_pd(MulInOrder(g, dx), d2), h);
  const __m256d uy = MulInOrder(_mm256_div_pd(MulInOrder(g, dy), d2), h);
  // -u where apart (NaN counts, as `d2 != 0.0` does), +0.0 where coincident.
  const __m256d apart = _mm256_cmp_pd(d2, zero, _CMP_NEQ_UQ);
  __m256d fx = _mm256_and_pd(_mm256_xor_pd(ux, sign), apart);
  __m256d fy = _mm256_and_pd(_mm256_xor_pd(uy, sign), apart);
  if constexpr (kBounce) {
    const __m256d flip =
        _mm256_and_pd(_mm256_cmp_pd(d2, _mm256_set1_pd(kBounceRadius2), _CMP_LT_OQ), sign);
    fx = _mm256_xor_pd(fx, flip);
    fy = _mm256_xor_pd(fy, flip);
  }
  __m256d vx = AddInOrder(s.vx, fx);
  __m256d vy = AddInOrder(s.vy, fy);
  if constexpr (kFriction) {
    const __m256d mu = _mm256_set1_pd(p.mu);
    vx = MulInOrder(vx, mu);
    vy = MulInOrder(vy, mu);
  }
  if constexpr (kSelf) {
    const __m256d self =
        _mm256_castsi256_pd(_mm256_load_si256(reinterpret_cast<const __m256i*>(kSelfLane[k - i0])));
    vx = _mm256_blendv_pd(vx, s.vx, self);
    vy = _mm256_blendv_pd(vy, s.vy, self);
  }
  s.vx = vx;
  s.vy = vy;
}

template <bool kTable, bool kBounce, bool kFriction>
VZ_AVX2 void Block(const ForceLayout& L, const SimParams& p, std::int32_t i0, std::int32_t k0,
                   std::int32_t k1) {
  Lanes s;
  s.xi = _mm256_load_pd(L.x + i0);
  s.yi = _mm256_load_pd(L.y + i0);
  s.mi = _mm256_load_pd(L.m + i0);
  s.vx = _mm256_load_pd(L.vx + i0);
  s.vy = _mm256_load_pd(L.vy + i0);
  s.massless = _mm256_cmp_pd(s.mi, _mm256_setzero_pd(), _CMP_EQ_OQ);
  // i0 is a multiple of the lane count, so lanes 0 and 2 hold even i.
  const double e = p.evenOdd ? -0.0 : 0.0;
  s.flip[0] = _mm256_setr_pd(e, 0.0, e, 0.0);
  s.flip[1] = _mm256_setr_pd(0.0, e, 0.0, e);

  if constexpr (kTable) {
    for (std::int32_t c = 0; c < L.classes; ++c) {
      __m256d h = _mm256_div_pd(_mm256_broadcast_sd(L.classMass + c), s.mi);
      h = _mm256_blendv_pd(h, _mm256_set1_pd(kMasslessRatio), s.massless);
      _mm256_store_pd(L.ratios + (2 * c) * kLanes, _mm256_xor_pd(h, s.flip[0]));
      _mm256_store_pd(L.ratios + (2 * c + 1) * kLanes, _mm256_xor_pd(h, s.flip[1]));
    }
  }

  // k below the block, inside it (its own lane sits out), above it.
  const std::int32_t selfBegin = std::clamp(i0, k0, k1);
  const std::int32_t selfEnd = std::clamp(std::min(i0 + kLanes, L.n), selfBegin, k1);
  for (std::int32_t k = k0; k < selfBegin; ++k)
    Pair<kTable, kBounce, kFriction, false>(s, L, p, k, i0);
  for (std::int32_t k = selfBegin; k < selfEnd; ++k)
    Pair<kTable, kBounce, kFriction, true>(s, L, p, k, i0);
  for (std::int32_t k = selfEnd; k < k1; ++k)
    Pair<kTable, kBounce, kFriction, false>(s, L, p, k, i0);

  _mm256_store_pd(L.vx + i0, s.vx);
  _mm256_store_pd(L.vy + i0, s.vy);
}

template <bool kTable, bool kBounce, bool kFriction>
VZ_AVX2 void Blocks(const ForceLayout& L, const SimParams& p, std::int32_t i0, std::int32_t i1,
                    std::int32_t k0, std::int32_t k1) {
  for (std::int32_t b = i0; b < i1; b += kLanes) Block<kTable, kBounce, kFriction>(L, p, b, k0, k1);
}

}  // namespace

void ForceAvx2(const ForceLayout& layout, const SimParams& p, std::int32_t i0, std::int32_t i1,
               std::int32_t k0, std::int32_t k1) {
  WithSwitches(layout, p, [&]<bool kTable, bool kBounce, bool kFriction>() {
    Blocks<kTable, kBounce, kFriction>(layout, p, i0, i1, k0, k1);
  });
}

}  // namespace vz::force_detail

#endif
