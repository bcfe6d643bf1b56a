#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "force.h"
#include "random.h"

namespace vz {
namespace {

Particle At(double x, double y, double mass = 10.0) { return Particle{0.0, 0.0, x, y, mass}; }

SimParams Gravity(double g) {
  SimParams p;
  p.gravity = g;
  return p;
}

TEST(ForceLaw, PairAttractsWithGOverDistance) {
  std::vector<Particle> q = {At(0, 0), At(10, 0, 20.0)};
  ForcePassPlain(q.data(), 2, Gravity(1.0));
  EXPECT_DOUBLE_EQ(q[0].vx, 0.2) << "toward n, scaled by m(n)/m(i) = 2";
  EXPECT_DOUBLE_EQ(q[1].vx, -0.05) << "ratio 1/2 the other way";
  EXPECT_EQ(q[0].x, 0.0) << "positions never move in the force pass";
}

TEST(ForceLaw, SameParityRepelsUnderEvenOdd) {
  // Particle 1 sits straight below particle 0, so only particle 2 moves 0 sideways.
  std::vector<Particle> q = {At(0, 0), At(0, 1000), At(10, 0)};
  SimParams p = Gravity(1.0);
  p.evenOdd = 1;
  ForcePassPlain(q.data(), 3, p);
  EXPECT_DOUBLE_EQ(q[0].vx, -0.1) << "0 and 2 repel";
  EXPECT_GT(q[0].vy, 0.0) << "0 and 1 attract";
  EXPECT_LT(q[1].vy, 0.0);
}

TEST(ForceLaw, MasslessParticles) {
  std::vector<Particle> q = {At(0, 0, 0.0), At(10, 0, 10.0)};
  ForcePassPlain(q.data(), 2, Gravity(1.0));
  EXPECT_DOUBLE_EQ(q[0].vx, 10000.0) << "ratio 100000 for the massless one";
  EXPECT_EQ(q[1].vx, 0.0) << "a massless particle pulls nothing";

  std::vector<Particle> z = {At(0, 0, 0.0), At(10, 0, 0.0)};
  ForcePassPlain(z.data(), 2, Gravity(1.0));
  EXPECT_DOUBLE_EQ(z[0].vx, 10000.0);
  EXPECT_DOUBLE_EQ(z[1].vx, -10000.0);
}

TEST(ForceLaw, CoincidentParticlesExertNothingEvenWithBounce) {
  for (int bounce = 0; bounce <= 1; ++bounce) {
    std::vector<Particle> q = {At(5, 5), At(5, 5)};
    SimParams p = Gravity(3.0);
    p.bounce = bounce;
    ForcePassPlain(q.data(), 2, p);
    EXPECT_EQ(q[0].vx, 0.0);
    EXPECT_EQ(q[0].vy, 0.0);
  }
}

TEST(ForceLaw, BounceReversesInsideTheRadiusOnly) {
  SimParams p = Gravity(1.0);
  p.bounce = 1;
  std::vector<Particle> near = {At(0, 0), At(6, 0)};  // d2 = 36 < 48
  ForcePassPlain(near.data(), 2, p);
  EXPECT_LT(near[0].vx, 0.0);
  std::vector<Particle> far = {At(0, 0), At(7, 0)};  // d2 = 49
  ForcePassPlain(far.data(), 2, p);
  EXPECT_GT(far[0].vx, 0.0);

  p.evenOdd = 1;  // a repelling pair inside the radius attracts
  std::vector<Particle> rep = {At(0, 0), At(0, 500), At(6, 0)};
  ForcePassPlain(rep.data(), 3, p);
  EXPECT_GT(rep[0].vx, 0.0);
}

TEST(ForceLaw, FrictionAppliesPerPairInPairOrder) {
  std::vector<Particle> q = {At(0, 0), At(10, 0), At(20, 0)};
  SimParams p = Gravity(1.0);
  p.friction = 1;
  p.mu = 0.5;
  ForcePassPlain(q.data(), 3, p);
  // Pull 0.1 from particle 1, then 0.05 from particle 2: ((0.1)·mu + 0.05)·mu.
  EXPECT_DOUBLE_EQ(q[0].vx, 0.05);
  // Existing velocity is damped once per pair too.
  std::vector<Particle> r = {At(0, 0), At(0, 0), At(0, 0)};
  r[0].vx = 1.0;
  ForcePassPlain(r.data(), 3, p);
  EXPECT_EQ(r[0].vx, 0.25);
}

// Random fields over every switch combination: the fast kernel must match
// the plain loop bit for bit, including signed zeros and non-finite values.
TEST(ForceKernel, MatchesPlainLoopBitForBit) {
  Random r;
  r.Reseed(99);
  for (int combo = 0; combo < 16; ++combo) {
    for (int n : {0, 1, 2, 3, 5, 8, 9, 17, 33, 100}) {
      SimParams p;
      p.evenOdd = combo & 1;
      p.bounce = (combo >> 1) & 1;
      p.friction = (combo >> 2) & 1;
      p.gravity = (combo & 8) ? 4294967295 * 0.1 : 3.0000000000000004;
      p.mu = 0.9965;
      std::vector<Particle> a(static_cast<std::size_t>(n));
      for (auto& q : a) {
        // Coarse positions make coincident and close pairs common.
        q = Particle{(r.Next() % 7) * 0.25 - 0.75, (r.Next() % 5) * 0.5, 2.0 * (r.Next() % 12),
                     2.0 * (r.Next() % 9), (r.Next() % 4) * 0.1};
      }
      if (n > 3) a[3].vx = -0.0;
      std::vector<Particle> b = a;
      for (int tick = 0; tick < 3; ++tick) {
        ForcePassPlain(a.data(), n, p);
        ForcePass(b.data(), n, p);
      }
      ASSERT_EQ(0, std::memcmp(a.data(), b.data(), a.size() * sizeof(Particle)))
          << "kernel " << ForceKernelName() << ", combo " << combo << ", n " << n;
    }
  }
}

}  // namespace
}  // namespace vz
