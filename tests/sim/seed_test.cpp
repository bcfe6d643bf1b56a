#include <gtest/gtest.h>

#include <climits>

#include "random.h"
#include "seed.h"

namespace vz {
namespace {

class SeedTest : public ::testing::Test {
 protected:
  void SetUp() override { SetTimeSource([] { return std::int64_t{1}; }); }
  void TearDown() override { SetTimeSource({}); }

  // The draws seeding will take, from the same time.
  static Random Expected(std::uint32_t seed = 1) {
    Random r;
    r.Reseed(seed);
    return r;
  }
};

TEST_F(SeedTest, DrawsXThenYThenColourPerParticle) {
  ParticleField f;
  f.count = 3;
  f.params.singleMass = 1;
  Seed(f, {0, 0, 100, 80});
  Random r = Expected();
  for (int i = 0; i < 3; ++i) {
    const Particle& q = f.particles[i];
    EXPECT_EQ(q.x, 2.0 * (r.Next() % 50));
    EXPECT_EQ(q.y, 2.0 * (r.Next() % 40));
    EXPECT_EQ(q.vx, 0.0);
    EXPECT_EQ(q.vy, 0.0);
    EXPECT_EQ(q.mass, 10.0);
    const std::uint32_t c = r.Next() % 192 + 64;
    EXPECT_EQ(f.colours[i], c | (128u << 8) | ((255 - c) << 16));
  }
  EXPECT_EQ(f.arraySize, 3);
}

TEST_F(SeedTest, ParityColoursStillTakeTheColourDraw) {
  ParticleField f;
  f.count = 4;
  f.params.evenOdd = 1;
  Seed(f, {0, 0, 640, 480});
  Random r = Expected();
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(f.particles[i].x, 2.0 * (r.Next() % 320));
    EXPECT_EQ(f.particles[i].y, 2.0 * (r.Next() % 240));
    r.Next();
    EXPECT_EQ(f.colours[i], i % 2 ? 0x0000C8C8u : 0x00C8C800u);
  }
}

TEST_F(SeedTest, MassSchemesApplyInOrderEvenOddSingleRandom) {
  ParticleField f;
  f.count = 4;
  f.params = SimParams{};
  Seed(f, {0, 0, 100, 100});
  for (int i = 0; i < 4; ++i) EXPECT_EQ(f.particles[i].mass, 10.0) << "no scheme";

  f.params.evenOddMass = f.params.singleMass = f.params.randomMass = 1;
  Seed(f, {0, 0, 100, 100});
  for (int i = 0; i < 4; ++i) EXPECT_EQ(f.particles[i].mass, i % 2 ? 11.0 : 10.0);

  f.params.evenOddMass = 0;
  Seed(f, {0, 0, 100, 100});
  for (int i = 0; i < 4; ++i) EXPECT_EQ(f.particles[i].mass, 10.0) << "single beats random";

  f.params.singleMass = 0;
  f.params.randomMass = 7;  // any non-zero value is on
  Seed(f, {0, 0, 100, 100});
  Random r = Expected();
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(f.particles[i].x, 2.0 * (r.Next() % 50));
    EXPECT_EQ(f.particles[i].y, 2.0 * (r.Next() % 50));
    EXPECT_EQ(f.particles[i].mass, (r.Next() % 100) * 0.1);
    r.Next();
  }
}

TEST_F(SeedTest, RandomMassCanBeZero) {
  // Seed 5 yields a mass draw that is a multiple of 100 for some particle.
  ParticleField f;
  f.count = 2000;
  f.params.randomMass = 1;
  Seed(f, {0, 0, 800, 600});
  bool zero = false;
  for (int i = 0; i < f.count; ++i) {
    const double m = f.particles[i].mass;
    EXPECT_GE(m, 0.0);
    EXPECT_LE(m, 9.9);
    zero |= (m == 0.0);
  }
  EXPECT_TRUE(zero);
}

TEST_F(SeedTest, PlanetIsParticleZeroAndTakesNoDraws) {
  ParticleField f;
  f.count = 3;
  f.params.planet = 1;
  f.params.evenOddMass = 1;
  Seed(f, {0, 0, 50, 50});
  const Particle& p = f.particles[0];
  EXPECT_EQ(p.vx, 0.05);
  EXPECT_EQ(p.vy, 0.0);
  EXPECT_EQ(p.x, 300.0);
  EXPECT_EQ(p.y, 200.0);
  EXPECT_EQ(p.mass, 1000.0);
  EXPECT_EQ(f.colours[0], kPlanetColour);
  Random r = Expected();
  EXPECT_EQ(f.particles[1].x, 2.0 * (r.Next() % 25));
  EXPECT_EQ(f.particles[1].mass, 11.0) << "index parity, not loop position";

  f.count = 1;
  Seed(f, {0, 0, 50, 50});
  EXPECT_EQ(f.arraySize, 1);
  EXPECT_EQ(f.particles[0].mass, 1000.0);

  f.count = 0;
  Seed(f, {0, 0, 50, 50});
  EXPECT_EQ(f.arraySize, 0);
}

TEST_F(SeedTest, PositionsAreEvenAndInsideTheClientArea) {
  SetTimeSource([] { return std::int64_t{1700000000}; });
  ParticleField f;
  f.count = 500;
  Seed(f, {0, 0, 64, 38});
  for (int i = 0; i < f.count; ++i) {
    const double x = f.particles[i].x;
    const double y = f.particles[i].y;
    EXPECT_EQ(static_cast<int>(x) % 2, 0);
    EXPECT_EQ(static_cast<int>(y) % 2, 0);
    EXPECT_GE(x, 0.0);
    EXPECT_LE(x, 62.0);
    EXPECT_GE(y, 0.0);
    EXPECT_LE(y, 36.0);
  }
}

TEST_F(SeedTest, SameSecondGivesTheSameLayout) {
  ParticleField a, b;
  a.count = b.count = 20;
  Seed(a, {0, 0, 300, 200});
  Seed(b, {0, 0, 300, 200});
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(a.particles[i].x, b.particles[i].x);
    EXPECT_EQ(a.particles[i].y, b.particles[i].y);
  }
  SetTimeSource([] { return std::int64_t{2}; });
  Seed(b, {0, 0, 300, 200});
  bool differs = false;
  for (int i = 0; i < 20; ++i) differs |= a.particles[i].x != b.particles[i].x;
  EXPECT_TRUE(differs);
}

TEST_F(SeedTest, TinyClientAreaPlacesAtZeroWithoutDividing) {
  ParticleField f;
  f.count = 3;
  Seed(f, {0, 0, 1, 1});
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(f.particles[i].x, 0.0);
    EXPECT_EQ(f.particles[i].y, 0.0);
  }
  // The draws are still taken, so colours follow the usual sequence.
  Random r = Expected();
  r.Next();
  r.Next();
  const std::uint32_t c = r.Next() % 192 + 64;
  EXPECT_EQ(f.colours[0], c | (128u << 8) | ((255 - c) << 16));

  Seed(f, {0, 0, 0, 600});
  EXPECT_EQ(f.particles[2].x, 0.0);
  EXPECT_GT(f.particles[0].y + f.particles[1].y + f.particles[2].y, 0.0);
}

TEST_F(SeedTest, NegativeOrHugeCountLeavesTheFieldEmpty) {
  ParticleField f;
  f.count = 5;
  Seed(f, {0, 0, 100, 100});
  ASSERT_TRUE(f.particles);

  f.count = -1;
  Seed(f, {0, 0, 100, 100});
  EXPECT_FALSE(f.particles);
  EXPECT_FALSE(f.colours);
  EXPECT_EQ(f.arraySize, 0);

  f.count = INT_MIN;
  EXPECT_NO_THROW(Seed(f, {0, 0, 100, 100}));
  EXPECT_FALSE(f.particles);

  // 2^31 - 1 particles need about 86 GB: more than any test machine grants.
  f.count = INT_MAX;
  EXPECT_NO_THROW(Seed(f, {0, 0, 100, 100}));
  EXPECT_FALSE(f.colours);
  EXPECT_EQ(f.arraySize, 0);
}

TEST_F(SeedTest, SeedingKeepsStopped) {
  ParticleField f;
  f.count = 2;
  f.stopped = true;
  Seed(f, {0, 0, 100, 100});
  EXPECT_TRUE(f.stopped);
}

}  // namespace
}  // namespace vz
