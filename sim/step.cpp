#include "step.h"

#include <algorithm>

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

// Opens the drawing context for the second half of a tick and reads the
// client rectangle; false, with the field stopped, when there is nothing to
// draw on.
bool BeginMotion(ParticleField& field, DrawSurface& surface, ClientRect& rc) {
  rc = surface.GetClientRect();
  if (rc.top == rc.bottom || rc.left == rc.right || !surface.BeginDraw()) {
    field.stopped = true;
    return false;
  }
  return true;
}

// The second half of a tick for particles [j0, j1): moves, reflects, erases
// and draws, inside the context BeginMotion opened.
void Move(ParticleField& field, const SimParams& p, DrawSurface& surface, const ClientRect& rc,
          std::int32_t j0, std::int32_t j1) {
  Particle* particles = field.particles.get();
  // Computed in 64 bits so an extreme rectangle cannot overflow; the limits
  // are exact in a double either way.
  const double right = static_cast<double>(std::int64_t{rc.right} - kSquareSize);
  const double bottom = static_cast<double>(std::int64_t{rc.bottom} - kSquareSize);
  const double left = rc.left;
  const double top = rc.top;

  for (std::int32_t j = j0; j < j1; ++j) {
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
}

bool CanStep(const ParticleField& field) {
  return field.particles && field.colours && !field.stopped;
}

}  // namespace

void Step(ParticleField& field, DrawSurface& surface) {
  if (!CanStep(field)) return;
  ForcePass(field.particles.get(), field.arraySize, field.params);
  ClientRect rc;
  if (!BeginMotion(field, surface, rc)) return;
  Move(field, field.params, surface, rc, 0, field.arraySize);
  surface.EndDraw();
}

bool StepJob::Start(ParticleField& field) {
  Abandon();
  if (!CanStep(field)) return false;
  field_ = &field;
  releases_ = field.releases;
  params_ = field.params;
  force_.Begin(field.particles.get(), field.arraySize, params_);
  return true;
}

bool StepJob::Run(DrawSurface& surface, std::chrono::steady_clock::time_point deadline,
                  std::int64_t piecePairs) {
  if (!field_) return true;
  // A reseeding frees the arrays this tick works on.
  if (field_->releases != releases_ || field_->stopped) {
    Abandon();
    return true;
  }
  const auto late = [&] { return std::chrono::steady_clock::now() >= deadline; };
  while (force_.Active()) {
    force_.Advance(piecePairs);
    if (late()) return false;
  }
  if (!surface_) {
    if (!BeginMotion(*field_, surface, rc_)) {
      field_ = nullptr;
      return true;
    }
    surface_ = &surface;
    next_ = 0;
  }
  // Moving and drawing one particle costs about as much as 32 pairs.
  const std::int64_t perPiece = std::max<std::int64_t>(1, piecePairs / 32);
  const std::int32_t n = field_->arraySize;
  while (next_ < n) {
    const auto j1 = static_cast<std::int32_t>(std::min<std::int64_t>(n, next_ + perPiece));
    Move(*field_, params_, *surface_, rc_, next_, j1);
    next_ = j1;
    if (next_ < n && late()) return false;
  }
  surface_->EndDraw();
  surface_ = nullptr;
  field_ = nullptr;
  return true;
}

void StepJob::Abandon() {
  force_.Cancel();
  // What was drawn stays drawn: the context is closed as a finished tick
  // would close it.
  if (surface_) surface_->EndDraw();
  surface_ = nullptr;
  field_ = nullptr;
}

}  // namespace vz
