#include "force.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "force_job.h"
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

TEST(ForceKernelChoice, PlainAlwaysRunsAndComesFirst) {
  const std::vector<const char*> kernels = AvailableForceKernels();
  ASSERT_FALSE(kernels.empty());
  EXPECT_STREQ(kernels.front(), "plain");
  EXPECT_STREQ(ChooseForceKernel("plain"), "plain");
}

TEST(ForceKernelChoice, UnsetOrUnusableRequestTakesOneMeasuredKernel) {
  const char* fastest = ChooseForceKernel(nullptr);
  const std::vector<const char*> kernels = AvailableForceKernels();
  EXPECT_TRUE(std::any_of(kernels.begin(), kernels.end(),
                          [&](const char* k) { return std::string_view(k) == fastest; }));
  EXPECT_STREQ(ChooseForceKernel(""), fastest) << "measured once per process";
  EXPECT_STREQ(ChooseForceKernel("avx1024"), fastest);
  EXPECT_STREQ(ChooseForceKernel("AVX2"), fastest) << "names are exact";
  for (const char* k : AvailableForceKernels()) EXPECT_STREQ(ChooseForceKernel(k), k);
}

TEST(ForceKernelChoice, UnknownKernelLeavesParticlesAlone) {
  std::vector<Particle> q = {At(0, 0), At(10, 0)};
  EXPECT_FALSE(ForcePassWith("avx1024", q.data(), 2, Gravity(1.0)));
  EXPECT_EQ(q[0].vx, 0.0);
  EXPECT_EQ(q[1].vx, 0.0);
}

// Every kernel against the plain loop, bit for bit: signed zeros, NaN signs
// and infinities included, since a changed order or operation shows there
// first.
class ForceKernelBits : public ::testing::TestWithParam<const char*> {
 protected:
  // Runs `ticks` passes of both and compares every byte; velocities carry
  // over between ticks so differences cannot cancel out.
  void ExpectSameAsPlain(std::vector<Particle> q, const SimParams& p, int ticks,
                         const std::string& what) {
    const auto n = static_cast<std::int32_t>(q.size());
    std::vector<Particle> fast = q;
    // In pieces too, small enough to split rows part way along.
    std::vector<Particle> pieces = q;
    ForceJob job(GetParam());
    for (int t = 0; t < ticks; ++t) {
      ForcePassPlain(q.data(), n, p);
      ASSERT_TRUE(ForcePassWith(GetParam(), fast.data(), n, p));
      job.Begin(pieces.data(), n, p);
      for (std::int64_t piece = 1; !job.Advance(piece); piece = piece * 3 % 101) {
      }
    }
    for (std::int32_t i = 0; i < n; ++i) {
      ASSERT_EQ(0, std::memcmp(&q[i], &fast[i], sizeof(Particle)))
          << what << ": particle " << i << " of " << n << ", plain vx " << q[i].vx << " vy "
          << q[i].vy << ", " << GetParam() << " vx " << fast[i].vx << " vy " << fast[i].vy;
      ASSERT_EQ(0, std::memcmp(&q[i], &pieces[i], sizeof(Particle)))
          << what << ": particle " << i << " of " << n << " in pieces";
    }
  }

  static SimParams Switches(int combo, double gravity) {
    SimParams p;
    p.evenOdd = combo & 1;
    p.bounce = (combo >> 1) & 1;
    p.friction = (combo >> 2) & 1;
    p.gravity = gravity;
    p.mu = 0.9965;
    return p;
  }

  std::mt19937 rng_{20240611};

  double Pick(std::initializer_list<double> values) {
    std::uniform_int_distribution<std::size_t> d(0, values.size() - 1);
    return values.begin()[d(rng_)];
  }
};

// Few distinct masses (the ratio table path) on coarse positions, so that
// coincident and close pairs are common, for every tail length.
TEST_P(ForceKernelBits, FewMassesEveryCountAndSwitch) {
  for (int combo = 0; combo < 16; ++combo) {
    const SimParams p = Switches(combo, (combo & 8) ? 4294967295 * 0.1 : 3.0000000000000004);
    for (int n = 0; n <= 40; ++n) {
      std::vector<Particle> q(static_cast<std::size_t>(n));
      for (auto& a : q) {
        a = Particle{Pick({0.0, -0.0, 0.25, -0.75}), Pick({0.0, -0.0, 0.5, 1.0}),
                     2.0 * Pick({0, 1, 2, 3, 4, 5}), 2.0 * Pick({0, 1, 2, 3}),
                     Pick({0.0, 0.1, 0.2, 10.0})};
      }
      ExpectSameAsPlain(q, p, 3, "combo " + std::to_string(combo));
    }
  }
}

// More distinct masses than the table holds, and fields small enough that
// every mass is its own class: the division per pair.
TEST_P(ForceKernelBits, ManyMassesDivideEachPair) {
  std::uniform_real_distribution<double> pos(0.0, 640.0);
  std::uniform_real_distribution<double> mass(0.0, 10.0);
  for (int combo = 0; combo < 8; ++combo) {
    const SimParams p = Switches(combo, 3.0);
    for (int n : {3, 7, 13, 31, 128, 129, 301}) {
      std::vector<Particle> q(static_cast<std::size_t>(n));
      for (auto& a : q) a = Particle{0.0, 0.0, pos(rng_), pos(rng_), mass(rng_)};
      if (n > 5) q[5].mass = 0.0;
      ExpectSameAsPlain(q, p, 2, "combo " + std::to_string(combo) + ", n " + std::to_string(n));
    }
  }
}

// Values that only survive if every operation and operand order is kept:
// zero masses of both signs, coincident points, squares that underflow to a
// zero distance, gravity large enough to overflow into infinities and then
// NaNs of both signs.
TEST_P(ForceKernelBits, ZerosInfinitiesAndNaNs) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const double kNaN = std::numeric_limits<double>::quiet_NaN();
  for (int combo = 0; combo < 8; ++combo) {
    for (double g : {1.0, 1e300, -1e308, kInf, 0.0, -0.0}) {
      const SimParams p = Switches(combo, g);
      for (int n : {2, 5, 9, 16, 23, 37}) {
        std::vector<Particle> q(static_cast<std::size_t>(n));
        for (auto& a : q) {
          a = Particle{Pick({0.0, -0.0, 1.0, 1e300}), Pick({0.0, -0.0, -2.0}),
                       Pick({0.0, -0.0, 3.0, 1e-170, -1e-170, 1e200, -1e200}),
                       Pick({0.0, -0.0, 5.0, 1e-170, 1e200}),
                       Pick({0.0, -0.0, 1.0, 10.0, 1e-300, 1e300})};
        }
        ExpectSameAsPlain(q, p, 3, "combo " + std::to_string(combo) + ", g " + std::to_string(g));

        // Non-finite inputs, too: positions, masses and velocities.
        for (auto& a : q) {
          if (rng_() % 4 == 0) a.x = Pick({kInf, -kInf, kNaN, -kNaN});
          if (rng_() % 5 == 0) a.y = Pick({kInf, -kNaN});
          if (rng_() % 5 == 0) a.mass = Pick({kInf, kNaN, -kNaN, -1.0});
          if (rng_() % 5 == 0) a.vy = Pick({kInf, -kNaN});
        }
        ExpectSameAsPlain(q, p, 2, "non-finite, combo " + std::to_string(combo));
      }
    }
  }
}

// Cases random fields rarely hit: a distance of exactly the bounce radius,
// and masses of 0.0 and -0.0 together, which give ratios of opposite sign
// zero and so must never share a table entry (visible once a velocity is
// -0.0).
TEST_P(ForceKernelBits, BounceRadiusEdgeAndSignedZeroMasses) {
  // 2² + 6.6332495807108² and 6² + 3.4641016151377544² both round to 48.
  std::vector<Particle> edge = {At(0, 0),
                                At(2, 6.6332495807108),
                                At(6, 3.4641016151377544),
                                At(-2, -6.6332495807108),
                                At(0, 7),
                                At(7, 0),
                                At(1, 1),
                                At(3, 9),
                                At(5, 5)};
  for (int combo = 0; combo < 8; ++combo) {
    ExpectSameAsPlain(edge, Switches(combo, 3.0), 1, "edge, combo " + std::to_string(combo));
  }

  // Particle 0 keeps vx = -0.0 only while every pull adds -0.0: the massless
  // ones all sit below and left of it, so a 0.0 mass adds -0.0 and the first
  // -0.0 mass turns it to +0.0.
  std::vector<Particle> zeros = {Particle{-0.0, -0.0, 100.0, 100.0, 1.0}};
  for (int i = 1; i < 12; ++i) zeros.push_back(At(i, 2 * i, (i % 2) ? 0.0 : -0.0));
  for (int combo = 0; combo < 8; ++combo) {
    ExpectSameAsPlain(zeros, Switches(combo, 3.0), 2,
                      "zero masses, combo " + std::to_string(combo));
  }
}

// The scratch memory is reused between calls: shrinking fields must not see
// a larger field's leftovers, nor growing ones read past their own.
TEST_P(ForceKernelBits, FieldsGrowAndShrinkBetweenCalls) {
  std::uniform_real_distribution<double> pos(0.0, 100.0);
  const SimParams p = Switches(7, 3.0);
  for (int n : {1000, 9, 0, 1, 41, 8, 600, 2}) {
    std::vector<Particle> q(static_cast<std::size_t>(n));
    for (auto& a : q) a = Particle{0.0, 0.0, pos(rng_), pos(rng_), Pick({1.0, 2.0, 0.0})};
    ExpectSameAsPlain(q, p, 1, "n " + std::to_string(n));
  }
}

INSTANTIATE_TEST_SUITE_P(EveryKernel, ForceKernelBits, ::testing::ValuesIn(AvailableForceKernels()),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param);
                         });

// ForcePass itself, with whatever kernel it picked, on a seeded-like field.
TEST(ForceKernel, ForcePassMatchesPlainLoop) {
  std::vector<Particle> a;
  for (int i = 0; i < 57; ++i) a.push_back(At(3.0 * (i % 11), 2.0 * (i % 7), 10.0 + (i % 3)));
  SimParams p = Gravity(3.0);
  p.evenOdd = p.friction = p.bounce = 1;
  p.mu = 0.9965;
  std::vector<Particle> b = a;
  ForcePassPlain(a.data(), 57, p);
  ForcePass(b.data(), 57, p);
  EXPECT_EQ(0, std::memcmp(a.data(), b.data(), a.size() * sizeof(Particle)))
      << "kernel " << ForceKernelName();
}

}  // namespace
}  // namespace vz
