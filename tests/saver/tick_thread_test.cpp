#include "tick_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "entries.h"
#include "seed.h"

namespace vz {
namespace {

using namespace std::chrono_literals;

class CountingSurface : public DrawSurface {
 public:
  ClientRect GetClientRect() const override { return {0, 0, 640, 480}; }
  bool BeginDraw() override { return true; }
  void EndDraw() override { ++ticksDrawn; }
  void FillSolidRect(std::int32_t, std::int32_t, std::int32_t, std::int32_t, Colour) override {}
  std::atomic<int> ticksDrawn{0};
};

bool WaitFor(const std::atomic<int>& value, int atLeast) {
  for (int i = 0; i < 1000 && value.load() < atLeast; ++i) std::this_thread::sleep_for(10ms);
  return value.load() >= atLeast;
}

// A tick that takes many seconds still lets the owner at the field and
// stops between slices; a new delay wakes a thread asleep on the old one.
TEST(TickThreadTest, HugeTickYieldsAndStopsMidwayAndANewDelayTakesEffectAtOnce) {
  const EntryValues entries;
  ParticleField field;
  field.params = ParamsFromEntries(entries);
  field.count = 300000;
  CountingSurface surface;
  Seed(field, surface.GetClientRect());
  TickThread ticks(field, surface);
  ASSERT_TRUE(ticks.Start(std::chrono::hours(1), TickClock::Clock::now()));
  std::this_thread::sleep_for(50ms);
  {
    auto hold = ticks.Hold();
    ticks.Abandon();
    field.count = 20;
    Seed(field, surface.GetClientRect());
  }
  // The abandoned tick drew nothing; the next is an hour away.
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(surface.ticksDrawn.load(), 0);
  ASSERT_TRUE(ticks.Start(10ms, TickClock::Clock::now() + 10ms));
  EXPECT_TRUE(WaitFor(surface.ticksDrawn, 3)) << "the thread slept on through the new delay";

  {
    auto hold = ticks.Hold();
    field.count = 300000;
    Seed(field, surface.GetClientRect());
  }
  ticks.Start(std::chrono::hours(1), TickClock::Clock::now());
  std::this_thread::sleep_for(50ms);
  const int before = surface.ticksDrawn.load();
  ticks.Stop();
  EXPECT_EQ(surface.ticksDrawn.load(), before) << "the stop waited for the whole huge tick";
}

}  // namespace
}  // namespace vz
