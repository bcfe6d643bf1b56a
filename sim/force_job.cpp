#include "force_job.h"

#include <algorithm>

#include "force_kernels.h"
#include "force_registry.h"

namespace vz {

using force_detail::AllForceKernels;
using force_detail::FillLayout;
using force_detail::FindRunnableKernel;
using force_detail::kMaxLanes;
using force_detail::ProcessKernel;
using force_detail::WriteVelocitiesBack;

struct ForceJob::State {
  const force_detail::ForceKernel* kernel = nullptr;
  force_detail::ScratchBlock scratch;
  force_detail::ForceLayout layout;
  bool onLayout = false;  // the vector kernel runs on `layout`
  bool active = false;
  Particle* particles = nullptr;
  std::int32_t n = 0;
  SimParams params;
  // Next rows to run start at `row`; a long row block is part done up to k.
  std::int32_t row = 0;
  std::int32_t k = 0;
};

ForceJob::ForceJob(std::string_view kernel) : s_(std::make_unique<State>()) {
  s_->kernel = kernel.empty() ? &ProcessKernel() : FindRunnableKernel(kernel);
  if (s_->kernel == nullptr) s_->kernel = &AllForceKernels().front();
}

ForceJob::~ForceJob() = default;

void ForceJob::Begin(Particle* particles, std::int32_t n, const SimParams& p) {
  State& s = *s_;
  s.particles = particles;
  s.n = n < 2 ? 0 : n;  // one particle or none: no pairs, nothing changes
  s.params = p;
  s.row = 0;
  s.k = 0;
  s.onLayout =
      s.kernel->vector != nullptr && s.n > 0 && FillLayout(particles, n, s.scratch, s.layout);
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
    if (s.onLayout) {
      s.kernel->vector(s.layout, s.params, s.row, i1, k0, k1);
    } else {
      force_detail::ForcePlainRows(s.particles, s.params, s.row, i1, k0, k1);
    }
    s.k = k1 == n ? 0 : k1;
    if (s.k == 0) s.row = i1;
  }
  if (s.row < n) return false;
  if (s.onLayout) WriteVelocitiesBack(s.layout, s.particles);
  s.active = false;
  return true;
}

void ForceJob::Cancel() { s_->active = false; }

bool ForceJob::Active() const { return s_->active; }

}  // namespace vz
