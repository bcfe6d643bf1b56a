#include <gtest/gtest.h>

#include <cstring>

#include "random.h"
#include "seed.h"
#include "step.h"

namespace vz {
namespace {

// FNV-1a over every fill of every tick and the final particles' bits: any
// change in arithmetic order, draws or drawing order shows here.
class HashingSurface : public DrawSurface {
 public:
  ClientRect GetClientRect() const override { return {0, 0, 640, 480}; }
  bool BeginDraw() override { return true; }
  void EndDraw() override { Mix(0xE0D); }
  void FillSolidRect(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                     Colour c) override {
    for (std::uint64_t v : {std::uint64_t(std::uint32_t(x)), std::uint64_t(std::uint32_t(y)),
                            std::uint64_t(w), std::uint64_t(h), std::uint64_t(c)}) {
      Mix(v);
    }
  }
  void Mix(std::uint64_t v) {
    for (int b = 0; b < 8; ++b) {
      hash ^= (v >> (8 * b)) & 0xFF;
      hash *= 0x100000001B3ull;
    }
  }
  std::uint64_t hash = 0xCBF29CE484222325ull;
};

std::uint64_t RunHash(SimParams p, std::int32_t count, int ticks) {
  SetTimeSource([] { return std::int64_t{1765432100}; });
  ParticleField f;
  f.count = count;
  f.params = p;
  HashingSurface s;
  Seed(f, s.GetClientRect());
  for (int t = 0; t < ticks; ++t) Step(f, s);
  for (std::int32_t i = 0; i < f.arraySize; ++i) {
    std::uint64_t bits[5];
    std::memcpy(bits, &f.particles[i], sizeof bits);
    for (std::uint64_t b : bits) s.Mix(b);
  }
  SetTimeSource({});
  return s.hash;
}

TEST(Golden, DefaultSettings) {
  SimParams p;
  p.showAll = p.evenOdd = p.friction = p.borders = p.singleMass = 1;
  p.gravity = 30 * 0.1;
  p.mu = 9965 * 0.0001;
  EXPECT_EQ(RunHash(p, 50, 400), 0x8c8d1b8eb766faull);
}

TEST(Golden, PlanetRandomMassBounceTrail) {
  SimParams p;
  p.planet = p.randomMass = p.bounce = p.borders = p.friction = 1;
  p.gravity = 40 * 0.1;
  p.mu = 9500 * 0.0001;
  EXPECT_EQ(RunHash(p, 77, 300), 0xa4d33535308112ffull);
}

TEST(Golden, NoWallsParityMassesFrictionless) {
  SimParams p;
  p.evenOddMass = p.evenOdd = p.showAll = 1;
  p.gravity = 1 * 0.1;
  EXPECT_EQ(RunHash(p, 33, 500), 0x81f1e6d74dac37baull);
}

}  // namespace
}  // namespace vz
