// Force pass with eight i side by side in the lanes of a 512-bit vector.
// Each lane walks k in ascending order exactly like the plain loop and uses
// the same operations in the same order, so results match it bit for bit.
// Only AVX-512F is required; nothing here may fuse a multiply and an add.
#include "force_kernels.h"

#if defined(__x86_64__)

#include <immintrin.h>

#include <cstdint>

#define VZ_AVX512 __attribute__((target("avx512f")))
#define VZ_AVX512_INLINE __attribute__((target("avx512f"), always_inline)) inline

namespace vz::force_detail {

namespace {

constexpr std::int32_t kLanes = 8;
static_assert(kLanes <= kMaxLanes);

// When both operands are NaN, x86 returns the first source's NaN, so the
// order of a commutative operation shows in the result. The compiler may
// swap the operands of a vector add or multiply; these pin the order the
// plain loop is written in: `a` is the first source. The masked forms
// leave `a` as it was in the lanes outside `where`.
VZ_AVX512_INLINE __m512d AddInOrder(__m512d a, __m512d b) {
  __m512d r;
  asm("vaddpd %2, %1, %0" : "=v"(r) : "v"(a), "v"(b));
  return r;
}

VZ_AVX512_INLINE __m512d MulInOrder(__m512d a, __m512d b) {
  __m512d r;
  asm("vmulpd %2, %1, %0" : "=v"(r) : "v"(a), "v"(b));
  return r;
}

VZ_AVX512_INLINE __m512d AddInOrderWhere(__m512d a, __mmask8 where, __m512d b) {
  asm("vaddpd %2, %0, %0%{%1%}" : "+v"(a) : "Yk"(where), "v"(b));
  return a;
}

VZ_AVX512_INLINE __m512d MulInOrderWhere(__m512d a, __mmask8 where, __m512d b) {
  asm("vmulpd %2, %0, %0%{%1%}" : "+v"(a) : "Yk"(where), "v"(b));
  return a;
}

// Sign flip as the plain loop's unary minus does it: only the sign bit
// changes, NaNs included. AVX-512F has no double xor, the integer one does
// the same thing.
VZ_AVX512_INLINE __m512d FlipWhere(__m512d v, __mmask8 where) {
  const __m512i sign = _mm512_set1_epi64(INT64_MIN);
  return _mm512_castsi512_pd(
      _mm512_mask_xor_epi64(_mm512_castpd_si512(v), where, _mm512_castpd_si512(v), sign));
}

// -v where `where`, +0.0 elsewhere.
VZ_AVX512_INLINE __m512d NegateOrZero(__m512d v, __mmask8 where) {
  const __m512i sign = _mm512_set1_epi64(INT64_MIN);
  return _mm512_castsi512_pd(_mm512_maskz_xor_epi64(where, _mm512_castpd_si512(v), sign));
}

// Every lane but `self`; every lane when it lies outside the block.
VZ_AVX512_INLINE __mmask8 AllLanesBut(std::int32_t self) {
  const auto lane = static_cast<std::uint32_t>(self);
  return lane < static_cast<std::uint32_t>(kLanes) ? static_cast<__mmask8>(~(1u << lane)) : 0xFF;
}

// The block's ratio table: m(class) / m(i) for each lane, the sign flipped
// where i has the parity of k under evenOdd.
VZ_AVX512_INLINE void FillRatios(const ForceLayout& L, __m512d mi, __mmask8 massless,
                                 __mmask8 sameAsEvenK, __mmask8 sameAsOddK) {
  const __m512d masslessRatio = _mm512_set1_pd(kMasslessRatio);
  for (std::int32_t c = 0; c < L.classes; ++c) {
    __m512d h = _mm512_div_pd(_mm512_set1_pd(L.classMass[c]), mi);
    h = _mm512_mask_mov_pd(h, massless, masslessRatio);
    _mm512_store_pd(L.ratios + (2 * c) * kLanes, FlipWhere(h, sameAsEvenK));
    _mm512_store_pd(L.ratios + (2 * c + 1) * kLanes, FlipWhere(h, sameAsOddK));
  }
}

template <bool kTable, bool kBounce, bool kFriction>
VZ_AVX512 void Block(const ForceLayout& L, const SimParams& p, std::int32_t i0, std::int32_t k0,
                     std::int32_t k1) {
  const __m512d zero = _mm512_setzero_pd();
  const __m512d g = _mm512_set1_pd(p.gravity);
  const __m512d mu = _mm512_set1_pd(p.mu);
  const __m512d radius2 = _mm512_set1_pd(kBounceRadius2);
  const __m512d masslessRatio = _mm512_set1_pd(kMasslessRatio);
  const __m512d xi = _mm512_load_pd(L.x + i0);
  const __m512d yi = _mm512_load_pd(L.y + i0);
  const __m512d mi = _mm512_load_pd(L.m + i0);
  __m512d vx = _mm512_load_pd(L.vx + i0);
  __m512d vy = _mm512_load_pd(L.vy + i0);

  const __mmask8 massless = _mm512_cmp_pd_mask(mi, zero, _CMP_EQ_OQ);
  // i0 is a multiple of the lane count, so even lanes hold even i; under
  // evenOdd a pair of equal parity repels.
  const __mmask8 sameAsEvenK = p.evenOdd ? 0x55 : 0;
  const __mmask8 sameAsOddK = p.evenOdd ? 0xAA : 0;

  if constexpr (kTable) FillRatios(L, mi, massless, sameAsEvenK, sameAsOddK);

  for (std::int32_t k = k0; k < k1; ++k) {
    // The lane with i == k takes no part: no force, no friction.
    const __mmask8 active = AllLanesBut(k - i0);

    const __m512d dx = _mm512_sub_pd(xi, _mm512_set1_pd(L.x[k]));
    const __m512d dy = _mm512_sub_pd(yi, _mm512_set1_pd(L.y[k]));
    const __m512d d2 = AddInOrder(_mm512_mul_pd(dx, dx), _mm512_mul_pd(dy, dy));

    __m512d h;
    if constexpr (kTable) {
      h = _mm512_load_pd(L.ratios + L.massRow[k] * kLanes);
    } else {
      h = _mm512_div_pd(_mm512_set1_pd(L.m[k]), mi);
      h = _mm512_mask_mov_pd(h, massless, masslessRatio);
      h = FlipWhere(h, (k & 1) ? sameAsOddK : sameAsEvenK);
    }

    const __m512d ux = MulInOrder(_mm512_div_pd(MulInOrder(g, dx), d2), h);
    const __m512d uy = MulInOrder(_mm512_div_pd(MulInOrder(g, dy), d2), h);
    // NaN counts as apart, as `d2 != 0.0` does.
    const __mmask8 apart = _mm512_cmp_pd_mask(d2, zero, _CMP_NEQ_UQ);
    __m512d fx = NegateOrZero(ux, apart);
    __m512d fy = NegateOrZero(uy, apart);
    if constexpr (kBounce) {
      const __mmask8 close = _mm512_cmp_pd_mask(d2, radius2, _CMP_LT_OQ);
      fx = FlipWhere(fx, close);
      fy = FlipWhere(fy, close);
    }
    vx = AddInOrderWhere(vx, active, fx);
    vy = AddInOrderWhere(vy, active, fy);
    if constexpr (kFriction) {
      vx = MulInOrderWhere(vx, active, mu);
      vy = MulInOrderWhere(vy, active, mu);
    }
  }

  _mm512_store_pd(L.vx + i0, vx);
  _mm512_store_pd(L.vy + i0, vy);
}

template <bool kTable, bool kBounce, bool kFriction>
VZ_AVX512 void Blocks(const ForceLayout& L, const SimParams& p, std::int32_t i0, std::int32_t i1,
                      std::int32_t k0, std::int32_t k1) {
  for (std::int32_t b = i0; b < i1; b += kLanes) Block<kTable, kBounce, kFriction>(L, p, b, k0, k1);
}

}  // namespace

void ForceAvx512(const ForceLayout& layout, const SimParams& p, std::int32_t i0, std::int32_t i1,
                 std::int32_t k0, std::int32_t k1) {
  WithSwitches(layout, p, [&]<bool kTable, bool kBounce, bool kFriction>() {
    Blocks<kTable, kBounce, kFriction>(layout, p, i0, i1, k0, k1);
  });
}

}  // namespace vz::force_detail

#endif
