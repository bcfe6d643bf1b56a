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

  // Each row of cells gives its maximal runs.
  template <class Add>
  void TakeCells(Add& add) {
    for (int r = top_; r <= bottom_; ++r) {
      std::uint8_t* row = cells_.data() + static_cast<std::size_t>(r) * columns_;
      const int top = r * kCell;
      const int height = std::min(kCell, height_ - top);
      // Only the marked stretch of the row is looked at.
      const int end = last_[r] + 1;
      for (int c = first_[r]; c < end;) {
        if (!row[c]) {
          ++c;
          continue;
        }
        const int start = c;
        while (c < end && row[c]) row[c++] = 0;
        const int left = start * kCell;
        add(left, top, std::min(c * kCell, width_) - left, height);
      }
      first_[r] = INT_MAX;
      last_[r] = -1;
    }
    top_ = INT_MAX;
    bottom_ = -1;
  }

  std::vector<PixelBox> boxes_;
  bool inCells_ = false;
  std::vector<std::uint8_t> cells_;
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
