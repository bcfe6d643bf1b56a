#include "seed.h"

#include <new>

#include "random.h"

namespace vz {

namespace {

// 2 × (r mod half) with the remainder on unsigned values. A client area under
// 2 pixels leaves no room to scatter: everything starts at 0 then.
double Scatter(int r, std::int32_t half) {
  const auto h = static_cast<std::uint32_t>(half);
  if (h == 0) return 0.0;
  return 2.0 * static_cast<double>(static_cast<std::uint32_t>(r) % h);
}

double MassFor(const SimParams& p, std::int32_t i, Random& random) {
  if (p.evenOddMass) return (i % 2 == 0) ? 10.0 : 11.0;
  if (p.singleMass) return 10.0;
  if (p.randomMass) return static_cast<double>(random.Next() % 100) * 0.1;
  return 10.0;
}

Colour ColourFor(const SimParams& p, std::int32_t i, Random& random) {
  // The draw is taken in both modes so the sequence does not depend on it.
  const auto c = static_cast<std::uint32_t>(random.Next() % 192 + 64);
  if (p.evenOdd) return (i % 2 != 0) ? Rgb(200, 200, 0) : Rgb(0, 200, 200);
  return Rgb(c, 128, 255 - c);
}

}  // namespace

void Seed(ParticleField& field, const ClientRect& clientRect) {
  Random& random = UiRandom();
  random.Reseed(static_cast<std::uint32_t>(CalendarSeconds()));
  field.Release();

  if (field.count < 0) return;
  const auto n = static_cast<std::size_t>(field.count);
  std::unique_ptr<Particle[]> particles(new (std::nothrow) Particle[n]);
  if (!particles) return;
  std::unique_ptr<Colour[]> colours(new (std::nothrow) Colour[n]);
  if (!colours) return;

  const SimParams& p = field.params;
  std::int32_t start = 0;
  if (p.planet && field.count >= 1) {
    particles[0] = Particle{0.05, 0.0, 300.0, 200.0, 1000.0};
    colours[0] = kPlanetColour;
    start = 1;
  }

  const std::int32_t halfW = (clientRect.right - clientRect.left) / 2;
  const std::int32_t halfH = (clientRect.bottom - clientRect.top) / 2;
  for (std::int32_t i = start; i < field.count; ++i) {
    Particle& q = particles[static_cast<std::size_t>(i)];
    q.vx = 0.0;
    q.vy = 0.0;
    q.x = Scatter(random.Next(), halfW);
    q.y = Scatter(random.Next(), halfH);
    q.mass = MassFor(p, i, random);
    colours[static_cast<std::size_t>(i)] = ColourFor(p, i, random);
  }

  field.particles = std::move(particles);
  field.colours = std::move(colours);
  field.arraySize = field.count;
}

}  // namespace vz
