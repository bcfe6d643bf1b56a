#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>

#include "random.h"
#include "recording_surface.h"
#include "seed.h"
#include "step.h"

namespace vz {
namespace {

using test::Fill;
using test::RecordingSurface;

// A field with hand-placed particles and no forces.
struct Still : ParticleField {
  Still(std::initializer_list<Particle> ps, SimParams p = {}) {
    count = static_cast<std::int32_t>(ps.size());
    particles.reset(new Particle[ps.size()]);
    colours.reset(new Colour[ps.size()]);
    std::size_t i = 0;
    for (const Particle& q : ps) {
      particles[i] = q;
      colours[i] = 0x100 + static_cast<Colour>(i);
      ++i;
    }
    arraySize = count;
    params = p;
  }
};

SimParams ShowAll() {
  SimParams p;
  p.showAll = 1;
  return p;
}

TEST(StepDrawing, ShowAllErasesOldThenDrawsNewPerParticle) {
  Still f({{1.5, 0, 10.7, 20.2, 10}, {0, -2, 30, 40, 10}}, ShowAll());
  RecordingSurface s;
  Step(f, s);
  const std::vector<Fill> want = {{10, 20, 4, 4, 0},     {12, 20, 4, 4, 0x100},
                                  {30, 40, 4, 4, 0},     {30, 38, 4, 4, 0x101}};
  EXPECT_EQ(s.fills, want);
  EXPECT_EQ(s.begins, 1);
  EXPECT_EQ(s.ends, 1);
  EXPECT_FALSE(s.outsideContext);
}

TEST(StepDrawing, WithoutShowAllOnlyParticleOneLeavesATrail) {
  Still f({{1, 0, 10, 10, 10}, {1, 1, 30, 40, 10}, {0, 0, 50, 50, 10}});
  RecordingSurface s;
  Step(f, s);
  Step(f, s);
  const std::vector<Fill> want = {{31, 41, 4, 4, 0x101}, {32, 42, 4, 4, 0x101}};
  EXPECT_EQ(s.fills, want);

  Still one({{1, 0, 10, 10, 10}});
  RecordingSurface s1;
  Step(one, s1);
  EXPECT_TRUE(s1.fills.empty());
  EXPECT_EQ(one.particles[0].x, 11.0) << "it still moves";
}

TEST(StepDrawing, NegativePositionsTruncateTowardZero) {
  Still f({{0, 0, -2.5, -0.5, 10}}, ShowAll());
  RecordingSurface s;
  Step(f, s);
  EXPECT_EQ(s.fills.back(), (Fill{-2, 0, 4, 4, 0x100}));
}

TEST(StepWalls, StrictLimitsKeepVelocityOnTheLine) {
  SimParams p;
  p.borders = 1;
  // Client 100 × 80: right limit 96, bottom limit 76.
  Still f({{6, 6, 90, 70, 10},     // lands exactly on both limits
                           {7, 7, 90, 70, 10},     // passes both
                           {-5, -5, 4, 4, 10},     // passes left and top
                           {-4, -4, 4, 4, 10}},    // lands on them
                          p);
  RecordingSurface s({0, 0, 100, 80});
  Step(f, s);
  const Particle* q = f.particles.get();
  EXPECT_EQ(q[0].x, 96.0);
  EXPECT_EQ(q[0].vx, 6.0);
  EXPECT_EQ(q[0].y, 76.0);
  EXPECT_EQ(q[0].vy, 6.0);
  EXPECT_EQ(q[1].x, 96.0);
  EXPECT_EQ(q[1].vx, -7.0);
  EXPECT_EQ(q[1].y, 76.0);
  EXPECT_EQ(q[1].vy, -7.0);
  EXPECT_EQ(q[2].x, 0.0);
  EXPECT_EQ(q[2].vx, 5.0);
  EXPECT_EQ(q[2].y, 0.0);
  EXPECT_EQ(q[2].vy, 5.0);
  EXPECT_EQ(q[3].x, 0.0);
  EXPECT_EQ(q[3].vx, -4.0);
}

TEST(StepWalls, NarrowAreaTestsRightBeforeLeft) {
  SimParams p;
  p.borders = 1;
  // Width 2: the right limit (-2) lies left of the left limit (0).
  Still f({{1, 0, 0, 0, 10}}, p);
  RecordingSurface s({0, 0, 2, 50});
  Step(f, s);
  EXPECT_EQ(f.particles[0].x, 0.0);
  EXPECT_EQ(f.particles[0].vx, 1.0) << "reversed twice";
}

TEST(StepWalls, WithoutBordersParticlesLeaveForGood) {
  Still f({{-30, 0, 10, 10, 10}}, ShowAll());
  RecordingSurface s({0, 0, 100, 100});
  Step(f, s);
  EXPECT_EQ(f.particles[0].x, -20.0);
  EXPECT_EQ(s.fills.back(), (Fill{-20, 10, 4, 4, 0x100}));
}

TEST(StepDrawing, PositionsBeyond32BitsAreNotDrawn) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (Particle q : {Particle{0, 0, 3e9, 5, 10}, Particle{0, 0, -2147483649.0, 5, 10},
                     Particle{0, 0, 5, inf, 10}, Particle{0, 0, nan, 5, 10}}) {
    Still f({q}, ShowAll());
    RecordingSurface s;
    Step(f, s);
    EXPECT_TRUE(s.fills.empty()) << q.x << "," << q.y;
  }
  // The extremes that still truncate into range are drawn; the surface clips.
  Still f({{0, 0, 2147483647.5, -2147483648.5, 10}}, ShowAll());
  RecordingSurface s;
  Step(f, s);
  const std::vector<Fill> want = {{2147483647, -2147483647 - 1, 4, 4, 0},
                                  {2147483647, -2147483647 - 1, 4, 4, 0x100}};
  EXPECT_EQ(s.fills, want);
}

TEST(StepStop, EmptyClientAreaStopsAfterTheForcePass) {
  for (ClientRect rc : {ClientRect{0, 0, 0, 100}, ClientRect{0, 0, 100, 0}}) {
    Still f({{1, 0, 10, 10, 10}, {0, 0, 30, 10, 10}}, ShowAll());
    f.params.gravity = 1.0;
    RecordingSurface s(rc);
    Step(f, s);
    EXPECT_TRUE(f.stopped);
    EXPECT_EQ(s.begins, 0);
    EXPECT_TRUE(s.fills.empty());
    EXPECT_EQ(f.particles[0].x, 10.0) << "nothing moved";
    EXPECT_GT(f.particles[0].vx, 1.0) << "but the forces were applied";
  }
}

TEST(StepStop, NoDrawingContextStopsForGood) {
  Still f({{1, 0, 10, 10, 10}}, ShowAll());
  RecordingSurface s;
  s.canDraw = false;
  Step(f, s);
  EXPECT_TRUE(f.stopped);
  EXPECT_EQ(s.ends, 0);
  s.canDraw = true;
  Step(f, s);
  Seed(f, s.GetClientRect());
  Step(f, s);
  EXPECT_EQ(s.begins, 1) << "a stopped field never steps again, even after reseeding";
  EXPECT_TRUE(s.fills.empty());
}

TEST(StepStop, EmptyFieldDoesNothing) {
  ParticleField f;
  f.count = 10;  // arrays never built
  RecordingSurface s;
  Step(f, s);
  EXPECT_EQ(s.begins, 0);
  EXPECT_FALSE(f.stopped);

  f.count = 0;
  Seed(f, s.GetClientRect());
  f.params.showAll = 1;
  Step(f, s);
  EXPECT_TRUE(s.fills.empty());
}

TEST(StepCount, ChangedCountWaitsForTheNextSeeding) {
  ParticleField f;
  f.count = 3;
  f.params.showAll = 1;
  RecordingSurface s;
  Seed(f, s.GetClientRect());
  f.count = 1000;  // arrays still hold 3
  Step(f, s);
  EXPECT_EQ(s.fills.size(), 6u);
  f.count = 1;
  s.fills.clear();
  Step(f, s);
  EXPECT_EQ(s.fills.size(), 6u);
  Seed(f, s.GetClientRect());
  s.fills.clear();
  Step(f, s);
  EXPECT_EQ(s.fills.size(), 2u);
}

TEST(StepPlanet, MovesLikeAnyParticleAndShowsOnlyWithShowAll) {
  ParticleField f;
  f.count = 2;
  f.params.planet = 1;
  f.params.borders = 1;
  RecordingSurface s({0, 0, 100, 100});
  Seed(f, s.GetClientRect());
  Step(f, s);
  EXPECT_EQ(f.particles[0].x, 96.0) << "outside a small window it is put on the wall";
  for (const Fill& fill : s.fills) EXPECT_NE(fill.colour, kPlanetColour);
  f.params.showAll = 1;
  Step(f, s);
  ASSERT_EQ(s.fills.size(), 5u);
  EXPECT_EQ(s.fills[1].colour, kBlack);
  EXPECT_EQ(s.fills[2].colour, kPlanetColour);
}

// A tick in pieces, one piece per call, against Step on a twin field: the
// same drawing calls in the same order and the same bits, tick after tick.
// A reseeding drops a tick; so does Abandon, closing the drawing context.
TEST(StepJob, PiecesMatchStepBitForBit) {
  SetTimeSource([] { return std::int64_t{1234}; });
  ParticleField a, b;
  for (ParticleField* f : {&a, &b}) {
    f->count = 37;
    f->params = ShowAll();
    f->params.evenOdd = f->params.friction = f->params.borders = f->params.randomMass = 1;
    f->params.gravity = 3.0;
    f->params.mu = 0.9965;
    Seed(*f, {0, 0, 200, 150});
  }
  RecordingSurface sa, sb;
  StepJob job;
  const auto now = std::chrono::steady_clock::time_point::min();
  for (int t = 0; t < 5; ++t) {
    Step(a, sa);
    ASSERT_TRUE(job.Start(b));
    int calls = 1;
    while (!job.Run(sb, now, 50)) ++calls;
    EXPECT_GT(calls, 30);
  }
  EXPECT_EQ(sa.fills, sb.fills);
  EXPECT_EQ(0, std::memcmp(a.particles.get(), b.particles.get(), 37 * sizeof(Particle)));

  ASSERT_TRUE(job.Start(b));
  EXPECT_FALSE(job.Run(sb, now, 50));
  Seed(b, {0, 0, 200, 150});
  const std::size_t fills = sb.fills.size();
  EXPECT_TRUE(job.Run(sb, now, 50));
  EXPECT_EQ(sb.fills.size(), fills);
  ASSERT_TRUE(job.Start(b));
  while (sb.begins == sb.ends) job.Run(sb, now, 50);
  job.Abandon();
  EXPECT_EQ(sb.begins, sb.ends);
  SetTimeSource({});
}

}  // namespace
}  // namespace vz
