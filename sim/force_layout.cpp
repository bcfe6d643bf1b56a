#include "force_layout.h"

#include <cstdint>
#include <cstring>

namespace vz::force_detail {

namespace {

constexpr std::size_t RoundUp(std::size_t v, std::size_t to) { return (v + to - 1) / to * to; }

std::uint64_t Bits(double v) {
  std::uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

// Groups masses by their exact bits (so 0.0 and -0.0, or two NaNs, stay
// apart: they divide differently). Returns the number of classes, or 0 when
// there are more than kMaxMassClasses.
std::int32_t ClassifyMasses(const Particle* q, std::int32_t n, double* classMass,
                            std::int32_t* massRow) {
  constexpr std::uint32_t kSlots = 2 * kMaxMassClasses;  // a power of two
  std::int32_t slotClass[kSlots];
  std::uint64_t slotBits[kSlots];
  for (std::int32_t& s : slotClass) s = -1;
  std::int32_t classes = 0;
  for (std::int32_t i = 0; i < n; ++i) {
    const std::uint64_t bits = Bits(q[i].mass);
    std::uint32_t s =
        static_cast<std::uint32_t>((bits * 0x9E3779B97F4A7C15ull) >> 56) & (kSlots - 1);
    while (slotClass[s] >= 0 && slotBits[s] != bits) s = (s + 1) & (kSlots - 1);
    if (slotClass[s] < 0) {
      if (classes == kMaxMassClasses) return 0;
      slotClass[s] = classes;
      slotBits[s] = bits;
      classMass[classes] = q[i].mass;
      ++classes;
    }
    massRow[i] = 2 * slotClass[s] + (i & 1);
  }
  return classes;
}

}  // namespace

bool FillLayout(const Particle* q, std::int32_t n, ScratchBlock& scratch, ForceLayout& layout) {
  const auto count = static_cast<std::size_t>(n);
  const std::size_t padded = RoundUp(count, kMaxLanes);
  // Five double arrays, the ratio table, the class masses, the rows.
  const std::size_t fixed = (2 * kMaxMassClasses * kMaxLanes + kMaxMassClasses) * sizeof(double);
  if (padded > (SIZE_MAX - fixed - kLayoutAlign) / (5 * sizeof(double) + sizeof(std::int32_t)))
    return false;
  const std::size_t arrayBytes = padded * sizeof(double);
  const std::size_t bytes =
      5 * arrayBytes + fixed + RoundUp(count * sizeof(std::int32_t), kLayoutAlign);
  unsigned char* base = scratch.Get(bytes);
  if (base == nullptr) return false;

  auto* x = reinterpret_cast<double*>(base);
  auto* y = reinterpret_cast<double*>(base + arrayBytes);
  auto* m = reinterpret_cast<double*>(base + 2 * arrayBytes);
  auto* vx = reinterpret_cast<double*>(base + 3 * arrayBytes);
  auto* vy = reinterpret_cast<double*>(base + 4 * arrayBytes);
  auto* ratios = reinterpret_cast<double*>(base + 5 * arrayBytes);
  double* classMass = ratios + 2 * kMaxMassClasses * kMaxLanes;
  auto* massRow = reinterpret_cast<std::int32_t*>(classMass + kMaxMassClasses);

  for (std::size_t i = 0; i < count; ++i) {
    x[i] = q[i].x;
    y[i] = q[i].y;
    m[i] = q[i].mass;
    vx[i] = q[i].vx;
    vy[i] = q[i].vy;
  }
  for (std::size_t i = count; i < padded; ++i) {
    x[i] = y[i] = vx[i] = vy[i] = 0.0;
    m[i] = 1.0;
  }

  // A block fills one table row per class, one division each, and then
  // saves a division per pair; as there are never more classes than
  // particles, the table always pays when it fits.
  const std::int32_t classes = ClassifyMasses(q, n, classMass, massRow);

  layout.n = n;
  layout.x = x;
  layout.y = y;
  layout.m = m;
  layout.vx = vx;
  layout.vy = vy;
  layout.classes = classes;
  layout.classMass = classMass;
  layout.massRow = massRow;
  layout.ratios = ratios;
  return true;
}

void WriteVelocitiesBack(const ForceLayout& layout, Particle* particles) {
  for (std::int32_t i = 0; i < layout.n; ++i) {
    particles[i].vx = layout.vx[i];
    particles[i].vy = layout.vy[i];
  }
}

}  // namespace vz::force_detail
