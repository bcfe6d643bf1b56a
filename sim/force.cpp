// Picks a force kernel at run time and lays the particles out for it.
#include "force.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>
#include <string_view>
#include <vector>

#include "force_kernels.h"

namespace vz {

namespace {

using force_detail::ForceLayout;
using force_detail::kMaxLanes;
using force_detail::kMaxMassClasses;

using VectorKernel = void (*)(const ForceLayout&, const SimParams&, std::int32_t, std::int32_t,
                              std::int32_t, std::int32_t);

struct Kernel {
  const char* name;
  VectorKernel run;  // null for the plain loop
  bool (*supported)();
};

bool Always() { return true; }

#if defined(__x86_64__)
// The init call makes these safe even from another file's static
// initialisation. Both also check that the system saves the wider registers.
bool HasAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}
bool HasAvx512() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f");
}
#endif

// Narrowest first; the fastest one that runs here wins.
constexpr Kernel kKernels[] = {
    {"plain", nullptr, Always},
#if defined(__x86_64__)
    {"avx2", force_detail::ForceAvx2, HasAvx2},
    {"avx512", force_detail::ForceAvx512, HasAvx512},
#endif
};

const Kernel* Find(std::string_view name) {
  for (const Kernel& k : kKernels) {
    if (name == k.name) return k.supported() ? &k : nullptr;
  }
  return nullptr;
}

const Kernel& Fastest();

const Kernel& Choose(const char* request) {
  if (request != nullptr) {
    if (const Kernel* k = Find(request)) return *k;
  }
  return Fastest();
}

const Kernel& Chosen() {
  static const Kernel& chosen = Choose(std::getenv("VIVEDAZIV_FORCE_KERNEL"));
  return chosen;
}

constexpr std::size_t kAlign = 64;

constexpr std::size_t RoundUp(std::size_t v, std::size_t to) { return (v + to - 1) / to * to; }

// One growing block, kept between calls so a tick allocates nothing once
// the field has been seen.
class Scratch {
 public:
  Scratch() = default;
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  ~Scratch() { Free(); }

  // Null when the memory cannot be had; the caller then uses the plain loop.
  unsigned char* Get(std::size_t bytes) {
    if (bytes <= size_) return data_;
    Free();
    data_ =
        static_cast<unsigned char*>(::operator new (bytes, std::align_val_t{kAlign}, std::nothrow));
    if (data_ != nullptr) size_ = bytes;
    return data_;
  }

 private:
  void Free() {
    if (data_ != nullptr) ::operator delete (data_, std::align_val_t{kAlign});
    data_ = nullptr;
    size_ = 0;
  }

  unsigned char* data_ = nullptr;
  std::size_t size_ = 0;
};

// ForcePass's, one per thread.
thread_local Scratch tScratch;

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

// Fills `layout` from the particles; false when the scratch memory is not
// available.
bool Lay(const Particle* q, std::int32_t n, Scratch& scratch, ForceLayout& layout) {
  const auto count = static_cast<std::size_t>(n);
  const std::size_t padded = RoundUp(count, kMaxLanes);
  // Five double arrays, the ratio table, the class masses, the rows.
  const std::size_t fixed = (2 * kMaxMassClasses * kMaxLanes + kMaxMassClasses) * sizeof(double);
  if (padded > (SIZE_MAX - fixed - kAlign) / (5 * sizeof(double) + sizeof(std::int32_t)))
    return false;
  const std::size_t arrayBytes = padded * sizeof(double);
  const std::size_t bytes = 5 * arrayBytes + fixed + RoundUp(count * sizeof(std::int32_t), kAlign);
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

void WriteBack(const ForceLayout& layout, Particle* particles) {
  for (std::int32_t i = 0; i < layout.n; ++i) {
    particles[i].vx = layout.vx[i];
    particles[i].vy = layout.vy[i];
  }
}

void Run(const Kernel& kernel, Particle* particles, std::int32_t n, const SimParams& p) {
  // One particle or none: no pairs, nothing changes.
  if (kernel.run == nullptr || n < 2) {
    ForcePassPlain(particles, n, p);
    return;
  }
  ForceLayout layout;
  if (!Lay(particles, n, tScratch, layout)) {
    ForcePassPlain(particles, n, p);
    return;
  }
  kernel.run(layout, p, 0, n, 0, n);
  WriteBack(layout, particles);
}

// Which kernel is fastest depends on the processor, not just on what it
// offers (a wider division can be slower per element), so each one that runs
// here is timed on a small field, interleaved, best of several rounds. Once
// per process; a millisecond or two.
const Kernel& Measure() {
  constexpr std::int32_t kParticles = 64;  // about 4000 pairs a pass
  constexpr int kRounds = 5;
  constexpr int kPasses = 6;
  Particle field[kParticles];
  for (std::int32_t i = 0; i < kParticles; ++i) {
    field[i] = {0.0, 0.0, 13.0 * (i % 17) + 0.5 * i, 7.0 * (i % 23) + 0.25 * i, 1.0 + (i % 5)};
  }
  SimParams p;
  p.gravity = 2.0;
  p.friction = 1;
  p.mu = 0.999;
  p.evenOdd = 1;
  p.bounce = 1;
  using Clock = std::chrono::steady_clock;
  Clock::duration best[std::size(kKernels)];
  for (auto& b : best) b = Clock::duration::max();
  for (int round = 0; round < kRounds; ++round) {
    for (std::size_t k = 0; k < std::size(kKernels); ++k) {
      if (!kKernels[k].supported()) continue;
      Particle q[kParticles];
      std::copy(std::begin(field), std::end(field), q);
      const auto start = Clock::now();
      for (int pass = 0; pass < kPasses; ++pass) Run(kKernels[k], q, kParticles, p);
      best[k] = std::min(best[k], Clock::now() - start);
    }
  }
  std::size_t fastest = 0;
  for (std::size_t k = 1; k < std::size(kKernels); ++k) {
    if (best[k] < best[fastest]) fastest = k;
  }
  return kKernels[fastest];
}

const Kernel& Fastest() {
  static const Kernel& fastest = Measure();
  return fastest;
}

}  // namespace

struct ForceJob::State {
  const Kernel* kernel = nullptr;
  Scratch scratch;
  ForceLayout layout;
  bool vector = false;
  bool active = false;
  Particle* particles = nullptr;
  std::int32_t n = 0;
  SimParams params;
  // Next rows to run start at `row`; a long row block is part done up to k.
  std::int32_t row = 0;
  std::int32_t k = 0;
};

ForceJob::ForceJob(std::string_view kernel) : s_(std::make_unique<State>()) {
  s_->kernel = kernel.empty() ? &Chosen() : Find(kernel);
  if (s_->kernel == nullptr) s_->kernel = &kKernels[0];
}

ForceJob::~ForceJob() = default;

void ForceJob::Begin(Particle* particles, std::int32_t n, const SimParams& p) {
  State& s = *s_;
  s.particles = particles;
  s.n = n < 2 ? 0 : n;  // one particle or none: no pairs, nothing changes
  s.params = p;
  s.row = 0;
  s.k = 0;
  s.vector = s.kernel->run != nullptr && s.n > 0 && Lay(particles, n, s.scratch, s.layout);
  s.active = true;
}

bool ForceJob::Advance(std::int64_t pairs) {
  State& s = *s_;
  if (!s.active) return true;
  const std::int32_t n = s.n;
  if (s.row < n) {
    std::int32_t i1 = 0;
    std::int32_t k0 = 0;
    std::int32_t k1 = n;
    const std::int64_t blockPairs = std::int64_t{n} * kMaxLanes;
    if (s.k == 0 && pairs >= blockPairs) {
      // Whole rows, as many blocks of them as the piece holds.
      const std::int64_t rows = pairs / blockPairs * kMaxLanes;
      i1 = static_cast<std::int32_t>(std::min<std::int64_t>(n, s.row + rows));
    } else {
      // One block of rows, part of the way along.
      i1 = std::min(n, s.row + kMaxLanes);
      k0 = s.k;
      k1 = static_cast<std::int32_t>(
          std::min<std::int64_t>(n, k0 + std::max<std::int64_t>(1, pairs / kMaxLanes)));
    }
    if (s.vector) {
      s.kernel->run(s.layout, s.params, s.row, i1, k0, k1);
    } else {
      force_detail::ForcePlainRows(s.particles, s.params, s.row, i1, k0, k1);
    }
    s.k = k1 == n ? 0 : k1;
    if (s.k == 0) s.row = i1;
  }
  if (s.row < n) return false;
  if (s.vector) WriteBack(s.layout, s.particles);
  s.active = false;
  return true;
}

void ForceJob::Cancel() { s_->active = false; }

bool ForceJob::Active() const { return s_->active; }

void ForcePass(Particle* particles, std::int32_t n, const SimParams& p) {
  Run(Chosen(), particles, n, p);
}

const char* ForceKernelName() { return Chosen().name; }

const char* ChooseForceKernel(const char* request) { return Choose(request).name; }

std::vector<const char*> AvailableForceKernels() {
  std::vector<const char*> names;
  for (const Kernel& k : kKernels) {
    if (k.supported()) names.push_back(k.name);
  }
  return names;
}

bool ForcePassWith(std::string_view kernel, Particle* particles, std::int32_t n,
                   const SimParams& p) {
  const Kernel* k = Find(kernel);
  if (k == nullptr) return false;
  Run(*k, particles, n, p);
  return true;
}

}  // namespace vz
