#include "unchanged_fills.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace vz {
namespace {

constexpr int kWidth = 24, kHeight = 16;
using Picture = std::vector<std::uint32_t>;

void Paint(Picture& picture, const PixelFill& f) {
  for (int y = f.y0; y < f.y1; ++y) {
    for (int x = f.x0; x < f.x1; ++x) picture[static_cast<std::size_t>(y) * kWidth + x] = f.pixel;
  }
}

PixelFill Square(int x, int y, std::uint32_t pixel) { return {x, y, x + 4, y + 4, pixel}; }

// Ticks of particles on a small picture, some still, some moving, some on top
// of each other, a few odd fills between: after every tick the picture made
// of the fills passed on is the picture made of all of them, and the fills of
// particles that stay put are left out.
TEST(UnchangedFillsTest, LeavesOutOnlyWhatChangesNothing) {
  std::mt19937 random(11);
  std::size_t fills = 0, kept = 0;
  for (int round = 0; round < 200; ++round) {
    UnchangedFills unchanged(0);
    Picture all(kWidth * kHeight), passed(kWidth * kHeight);
    struct Particle {
      int x, y;
      std::uint32_t colour;
    };
    std::vector<Particle> particles(1 + random() % 6);
    for (Particle& p : particles) {
      p = {static_cast<int>(random() % (kWidth - 3)), static_cast<int>(random() % (kHeight - 3)),
           1 + static_cast<std::uint32_t>(random() % 3)};
    }
    const auto add = [&](const PixelFill& f) {
      Paint(all, f);
      ++fills;
      unchanged.Add(f, [&](const PixelFill& g) {
        Paint(passed, g);
        ++kept;
      });
    };
    for (int tick = 0; tick < 30; ++tick) {
      for (Particle& p : particles) {
        add(Square(p.x, p.y, 0));
        if (random() % 3 == 0) {
          p.x = std::clamp(p.x + static_cast<int>(random() % 3) - 1, 0, kWidth - 4);
          p.y = std::clamp(p.y + static_cast<int>(random() % 3) - 1, 0, kHeight - 4);
        }
        add(Square(p.x, p.y, p.colour));
      }
      if (random() % 4 == 0) {
        const int x = static_cast<int>(random() % kWidth), y = static_cast<int>(random() % kHeight);
        add({x, y, std::min(x + 1 + static_cast<int>(random() % 8), kWidth), y + 1,
             static_cast<std::uint32_t>(random() % 3)});
      }
      unchanged.Finish([&](const PixelFill& g) {
        Paint(passed, g);
        ++kept;
      });
      ASSERT_EQ(all, passed) << "round " << round << ", tick " << tick;
    }
  }
  // Two particles in three stay put each tick.
  EXPECT_LT(kept, fills * 3 / 4);
}

// A particle that stays put costs nothing from its second tick on, unless
// something else painted over it in between.
TEST(UnchangedFillsTest, StillSquareIsLeftOutUntilPaintedOver) {
  UnchangedFills unchanged(0);
  std::vector<PixelFill> passed;
  const auto tick = [&](const std::vector<PixelFill>& fills) {
    passed.clear();
    for (const PixelFill& f : fills) unchanged.Add(f, [&](const PixelFill& g) { passed.push_back(g); });
    unchanged.Finish([&](const PixelFill& g) { passed.push_back(g); });
    return passed.size();
  };
  EXPECT_EQ(tick({Square(4, 4, 0), Square(4, 4, 7)}), 2u);
  EXPECT_EQ(tick({Square(4, 4, 0), Square(4, 4, 7)}), 0u);
  // Another particle's erase clips it: it must be drawn again.
  EXPECT_EQ(tick({Square(6, 6, 0), Square(9, 9, 5)}), 2u);
  EXPECT_EQ(tick({Square(4, 4, 0), Square(4, 4, 7)}), 2u);
  // Same place, another colour.
  EXPECT_EQ(tick({Square(4, 4, 0), Square(4, 4, 8)}), 2u);
  unchanged.Reset();
  EXPECT_EQ(tick({Square(4, 4, 0), Square(4, 4, 8)}), 2u);
}

}  // namespace
}  // namespace vz
