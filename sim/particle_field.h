#pragma once

#include <cstdint>
#include <memory>

namespace vz {

// 0x00BBGGRR, red in the low byte.
using Colour = std::uint32_t;

constexpr Colour Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return r | (g << 8) | (b << 16);
}
constexpr std::uint32_t Red(Colour c) { return c & 0xFF; }
constexpr std::uint32_t Green(Colour c) { return (c >> 8) & 0xFF; }
constexpr std::uint32_t Blue(Colour c) { return (c >> 16) & 0xFF; }

struct Particle {
  double vx;
  double vy;
  double x;
  double y;
  double mass;
};

// Switches are 32-bit integers; seeding and the step treat any non-zero
// value as on.
struct SimParams {
  std::int32_t showAll = 0;
  std::int32_t planet = 0;
  std::int32_t evenOdd = 0;
  std::int32_t friction = 0;
  std::int32_t borders = 0;
  std::int32_t bounce = 0;
  std::int32_t singleMass = 0;
  std::int32_t randomMass = 0;
  std::int32_t evenOddMass = 0;
  double gravity = 0.0;
  double mu = 0.0;
  std::int32_t delay = 0;
};

constexpr int kSquareSize = 4;
constexpr double kBounceRadius2 = 48.0;
constexpr double kMasslessRatio = 100000.0;
constexpr Colour kBlack = 0;
// Seeding never gives the planet a colour of its own; white keeps it visible.
constexpr Colour kPlanetColour = Rgb(255, 255, 255);

struct ParticleField {
  ParticleField() = default;
  ParticleField(const ParticleField&) = delete;
  ParticleField& operator=(const ParticleField&) = delete;
  ~ParticleField();

  // Frees both arrays, colours first.
  void Release();

  std::int32_t count = 0;
  std::unique_ptr<Particle[]> particles;
  std::unique_ptr<Colour[]> colours;
  bool stopped = false;
  // How many particles the arrays were built for. The step only ever walks
  // this many, so a writer changing `count` without reseeding cannot make it
  // run past the arrays.
  std::int32_t arraySize = 0;
  // Counts Release calls, so a tick run in pieces can tell that its arrays
  // went, even when new ones took the same address.
  std::uint64_t releases = 0;
  SimParams params;
};

}  // namespace vz
