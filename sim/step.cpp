#include "step.h"

#include "force.h"

namespace vz {

bool ToPixel(double v, std::int32_t& out) {
  if (!(v > -2147483649.0 && v < 2147483648.0)) return false;
  out = static_cast<std::int32_t>(v);
  return true;
}

namespace {

void FillSquare(DrawSurface& surface, double x, double y, Colour colour) {
  std::int32_t px = 0;
  std::int32_t py = 0;
  if (!ToPixel(x, px) || !ToPixel(y, py)) return;
  surface.FillSolidRect(px, py, kSquareSize, kSquareSize, colour);
}

}  // namespace

void Step(ParticleField& field, DrawSurface& surface) {
  if (!field.particles || !field.colours || field.stopped) return;
  const std::int32_t n = field.arraySize;
  Particle* particles = field.particles.get();
  const SimParams& p = field.params;

  ForcePass(particles, n, p);

  const ClientRect rc = surface.GetClientRect();
  if (rc.top == rc.bottom || rc.left == rc.right) {
    field.stopped = true;
    return;
  }
  if (!surface.BeginDraw()) {
    field.stopped = true;
    return;
  }

  // Computed in 64 bits so an extreme rectangle cannot overflow; the limits
  // are exact in a double either way.
  const double right = static_cast<double>(std::int64_t{rc.right} - kSquareSize);
  const double bottom = static_cast<double>(std::int64_t{rc.bottom} - kSquareSize);
  const double left = rc.left;
  const double top = rc.top;

  for (std::int32_t j = 0; j < n; ++j) {
    Particle& q = particles[j];
    if (p.showAll) FillSquare(surface, q.x, q.y, kBlack);
    double nx = q.x + q.vx;
    double ny = q.y + q.vy;
    if (p.borders) {
      if (nx > right) {
        q.vx = -q.vx;
        nx = right;
      }
      if (ny > bottom) {
        q.vy = -q.vy;
        ny = bottom;
      }
      if (nx < left) {
        q.vx = -q.vx;
        nx = left;
      }
      if (ny < top) {
        q.vy = -q.vy;
        ny = top;
      }
    }
    q.x = nx;
    q.y = ny;
    if (j == 1 || p.showAll) FillSquare(surface, q.x, q.y, field.colours[j]);
  }

  surface.EndDraw();
}

}  // namespace vz
