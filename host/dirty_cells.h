#pragma once

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

namespace vz {

// Clips [x, x + w) × [y, y + h) to a width × height picture, in 64 bits
// since positions may lie anywhere in the 32-bit range; false when nothing
// is left.
inline bool ClipToPicture(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h, int width,
                          int height, int& x0, int& y0, int& x1, int& y1) {
  x0 = static_cast<int>(std::max<std::int64_t>(x, 0));
  y0 = static_cast<int>(std::max<std::int64_t>(y, 0));
  x1 = static_cast<int>(std::min<std::int64_t>(std::int64_t{x} + w, width));
  y1 = static_cast<int>(std::min<std::int64_t>(std::int64_t{y} + h, height));
  return x0 < x1 && y0 < y1;
}

// The parts of a picture painted since they were last taken. A few are kept
// as rectangles, a square that meets the one painted just before joining it
// (a tick erases a square and draws it again nearby); past kMaxBoxes they go
// into a grid of kCell × kCell cells, so that however many squares a tick
// paints, what is handed on is a bounded number of rectangles.
class DirtyCells {
 public:
  static constexpr int kCell = 8;
  static constexpr std::size_t kMaxBoxes = 256;

  // Forgets everything: a picture of width × height, nothing marked.
  void Reset(int width, int height) {
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    columns_ = (width_ + kCell - 1) / kCell;
    const int rows = (height_ + kCell - 1) / kCell;
    cells_.assign(static_cast<std::size_t>(columns_) * rows, 0);
    first_.assign(static_cast<std::size_t>(rows), INT_MAX);
    last_.assign(static_cast<std::size_t>(rows), -1);
    top_ = INT_MAX;
    bottom_ = -1;
    boxes_.clear();
    inCells_ = false;
  }

  // Marks [x0, x1) × [y0, y1), already clipped to the picture and not empty.
  void Mark(int x0, int y0, int x1, int y1) {
    if (!inCells_) {
      if (!boxes_.empty()) {
        PixelBox& b = boxes_.back();
        if (x0 <= b.x1 && b.x0 <= x1 && y0 <= b.y1 && b.y0 <= y1) {
          b = {std::min(b.x0, x0), std::min(b.y0, y0), std::max(b.x1, x1), std::max(b.y1, y1)};
          return;
        }
      }
      if (boxes_.size() < kMaxBoxes) {
        boxes_.push_back({x0, y0, x1, y1});
        return;
      }
      inCells_ = true;
      for (const PixelBox& b : boxes_) MarkCells(b.x0, b.y0, b.x1, b.y1);
      boxes_.clear();
    }
    MarkCells(x0, y0, x1, y1);
  }

  bool Empty() const { return boxes_.empty() && bottom_ < top_; }

  // Calls add(x, y, width, height) for rectangles, clipped to the picture,
  // that cover everything marked, and forgets it.
  template <class Add>
  void Take(Add&& add) {
    for (const PixelBox& b : boxes_) add(b.x0, b.y0, b.x1 - b.x0, b.y1 - b.y0);
    boxes_.clear();
    inCells_ = false;
    TakeCells(add);
  }

 private:
  struct PixelBox {
    int x0, y0, x1, y1;
  };

  void MarkCells(int x0, int y0, int x1, int y1) {
    const int c0 = x0 / kCell, c1 = (x1 - 1) / kCell;
    const int r0 = y0 / kCell, r1 = (y1 - 1) / kCell;
    for (int r = r0; r <= r1; ++r) {
      std::uint8_t* row = cells_.data() + static_cast<std::size_t>(r) * columns_;
      std::fill(row + c0, row + c1 + 1, std::uint8_t{1});
      first_[r] = std::min(first_[r], c0);
      last_[r] = std::max(last_[r], c1);
    }
    top_ = std::min(top_, r0);
    bottom_ = std::max(bottom_, r1);
  }

  // Runs of marked cells are taken row by row; runs that overlap a
  // rectangle of the row above join it, so a square across a row boundary is
  // one rectangle.
  template <class Add>
  void TakeCells(Add& add) {
    const auto addBox = [&](const Box& b) {
      const int left = b.c0 * kCell, top = b.r0 * kCell;
      add(left, top, std::min(b.c1 * kCell, width_) - left, std::min(b.r1 * kCell, height_) - top);
    };
    open_.clear();
    for (int r = top_; r <= bottom_; ++r) {
      std::uint8_t* row = cells_.data() + static_cast<std::size_t>(r) * columns_;
      next_.clear();
      std::size_t o = 0;
      // Only the marked stretch of the row is looked at.
      const int end = last_[r] + 1;
      for (int c = first_[r]; c < end;) {
        if (!row[c]) {
          ++c;
          continue;
        }
        const int start = c;
        while (c < end && row[c]) row[c++] = 0;
        Box run{start, c, r, r + 1};
        while (o < open_.size() && open_[o].c1 <= start) addBox(open_[o++]);
        while (o < open_.size() && open_[o].c0 < c) Join(run, open_[o++]);
        if (!next_.empty() && next_.back().c1 > run.c0) {
          Join(next_.back(), run);
        } else {
          next_.push_back(run);
        }
      }
      while (o < open_.size()) addBox(open_[o++]);
      open_.swap(next_);
      first_[r] = INT_MAX;
      last_[r] = -1;
    }
    for (const Box& b : open_) addBox(b);
    open_.clear();
    top_ = INT_MAX;
    bottom_ = -1;
  }

  // Cells [c0, c1) × [r0, r1).
  struct Box {
    int c0, c1, r0, r1;
  };
  static void Join(Box& into, const Box& b) {
    into.c0 = std::min(into.c0, b.c0);
    into.c1 = std::max(into.c1, b.c1);
    into.r0 = std::min(into.r0, b.r0);
    into.r1 = std::max(into.r1, b.r1);
  }

  std::vector<PixelBox> boxes_;
  bool inCells_ = false;
  std::vector<std::uint8_t> cells_;
  // Take's rectangles still growing, and those of the row being read.
  std::vector<Box> open_;
  std::vector<Box> next_;
  // The first and last marked column of every row.
  std::vector<int> first_;
  std::vector<int> last_;
  int width_ = 0;
  int height_ = 0;
  int columns_ = 0;
  int top_ = INT_MAX;
  int bottom_ = -1;
};

}  // namespace vz
