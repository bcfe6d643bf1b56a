#include "force.h"
#include "force_kernels.h"

namespace vz {

namespace force_detail {

void ForcePlainRows(Particle* particles, const SimParams& p, std::int32_t i0, std::int32_t i1,
                    std::int32_t k0, std::int32_t k1) {
  for (std::int32_t i = i0; i < i1; ++i) {
    Particle& a = particles[i];
    double vx = a.vx;
    double vy = a.vy;
    for (std::int32_t k = k0; k < k1; ++k) {
      if (k == i) continue;
      const Particle& b = particles[k];
      const double dx = a.x - b.x;
      const double dy = a.y - b.y;
      const double d2 = dx * dx + dy * dy;
      double h = (a.mass == 0.0) ? kMasslessRatio : b.mass / a.mass;
      if (p.evenOdd && ((i ^ k) & 1) == 0) h = -h;
      double fx = 0.0;
      double fy = 0.0;
      if (d2 != 0.0) {
        fx = -((p.gravity * dx / d2) * h);
        fy = -((p.gravity * dy / d2) * h);
      }
      if (p.bounce && d2 < kBounceRadius2) {
        fx = -fx;
        fy = -fy;
      }
      vx += fx;
      vy += fy;
      if (p.friction) {
        vx *= p.mu;
        vy *= p.mu;
      }
    }
    a.vx = vx;
    a.vy = vy;
  }
}

}  // namespace force_detail

void ForcePassPlain(Particle* particles, std::int32_t n, const SimParams& p) {
  force_detail::ForcePlainRows(particles, p, 0, n, 0, n);
}

}  // namespace vz
