#include "dirty_cells.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace vz {
namespace {

struct Rect {
  int x, y, w, h;
};

std::vector<Rect> TakeAll(DirtyCells& cells) {
  std::vector<Rect> rects;
  cells.Take([&](int x, int y, int w, int h) { rects.push_back({x, y, w, h}); });
  return rects;
}

// Whatever is marked, few squares or more than are kept as rectangles, every
// marked pixel is inside a rectangle handed on, every rectangle lies in the
// picture, and taking clears everything.
TEST(DirtyCellsTest, RectanglesCoverEveryMarkInsideThePicture) {
  std::mt19937 random(7);
  const int width = 203, height = 117;  // not whole cells
  DirtyCells cells;
  cells.Reset(width, height);
  for (int round = 0; round < 300; ++round) {
    std::vector<bool> marked(static_cast<std::size_t>(width) * height);
    const int squares = 1 + static_cast<int>(random() % 600);
    for (int i = 0; i < squares; ++i) {
      const int w = 1 + static_cast<int>(random() % 12), h = 1 + static_cast<int>(random() % 12);
      int x0, y0, x1, y1;
      if (!ClipToPicture(static_cast<int>(random() % (width + 8)) - 4,
                         static_cast<int>(random() % (height + 8)) - 4, w, h, width, height, x0,
                         y0, x1, y1)) {
        continue;
      }
      cells.Mark(x0, y0, x1, y1);
      for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) marked[static_cast<std::size_t>(y) * width + x] = true;
      }
    }
    std::vector<bool> covered(marked.size());
    for (const Rect& r : TakeAll(cells)) {
      ASSERT_TRUE(r.x >= 0 && r.y >= 0 && r.w > 0 && r.h > 0 && r.x + r.w <= width &&
                  r.y + r.h <= height);
      for (int y = r.y; y < r.y + r.h; ++y) {
        for (int x = r.x; x < r.x + r.w; ++x) covered[static_cast<std::size_t>(y) * width + x] = true;
      }
    }
    for (std::size_t i = 0; i < marked.size(); ++i) {
      ASSERT_TRUE(!marked[i] || covered[i]) << "pixel " << i << " in round " << round;
    }
    ASSERT_TRUE(cells.Empty());
    ASSERT_TRUE(TakeAll(cells).empty());
  }
}

// A square and the next one, moved a little, are one rectangle; squares far
// apart stay apart.
TEST(DirtyCellsTest, NeighbouringCellsJoinDistantOnesDoNot) {
  DirtyCells cells;
  cells.Reset(1920, 1080);
  cells.Mark(101, 6, 105, 10);
  cells.Mark(103, 7, 107, 11);
  cells.Mark(900, 500, 904, 504);
  const std::vector<Rect> rects = TakeAll(cells);
  ASSERT_EQ(rects.size(), 2u);
  EXPECT_EQ(rects[0].w * rects[0].h + rects[1].w * rects[1].h, 6 * 5 + 4 * 4);
}

}  // namespace
}  // namespace vz
