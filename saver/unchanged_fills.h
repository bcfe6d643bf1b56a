#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace vz {

// A solid rectangle [x0, x1) × [y0, y1) of one pixel value.
struct PixelFill {
  int x0, y0, x1, y1;
  std::uint32_t pixel;

  bool SameRect(const PixelFill& o) const {
    return x0 == o.x0 && y0 == o.y0 && x1 == o.x1 && y1 == o.y1;
  }
  bool Overlaps(const PixelFill& o) const {
    return x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1;
  }
};

// Leaves out the fills that change nothing: a square erased and drawn again
// where it was, in the colour it already shows. Most particles move less than
// a pixel a tick, so most of a tick's fills are such pairs; without them
// there is less to write, to damage and to composite. Each fill is held back
// until the next one shows whether the two undo each other.
class UnchangedFills {
 public:
  // Fills of `background` are erases. Squares are drawn in a colour, so
  // only fills of other values are worth remembering.
  explicit UnchangedFills(std::uint32_t background) : background_(background) {}

  // Few enough squares that the bookkeeping stays cheap; past so many fills
  // a tick keeps all of them.
  static constexpr std::size_t kMaxSquares = 256;
  static constexpr std::size_t kMaxFillsPerTick = 1024;

  // A fresh picture: nothing known about it.
  void Reset() {
    Clear();
    held_.reset();
    fills_ = 0;
  }

  // Passes on to `apply` every fill that may change the picture, in order,
  // fills left out being ones whose pair leaves the picture as it was.
  template <class Apply>
  void Add(const PixelFill& fill, Apply&& apply) {
    if (held_) {
      if (held_->SameRect(fill) && Shows(fill)) {
        held_.reset();
        return;
      }
      Pass(*held_, apply);
    }
    held_ = fill;
  }

  // Passes on the fill held back; at the end of a tick.
  template <class Apply>
  void Finish(Apply&& apply) {
    if (held_) Pass(*held_, apply);
    held_.reset();
    fills_ = 0;
  }

 private:
  // Squares are found by the 16-pixel cell of their top-left corner, in a
  // small hashed table: a fill looks at the few cells near it, not at every
  // square, which at a hundred particles was a scan of a hundred squares
  // per fill, three times a particle. Squares wider or taller than a cell
  // are not remembered.
  static constexpr int kCellShift = 4;
  static constexpr int kCell = 1 << kCellShift;
  static constexpr std::size_t kBuckets = 256;
  // A fill spanning more cells than this looks through every bucket.
  static constexpr int kMaxCellsLooked = 16;

  static std::size_t Bucket(int cx, int cy) {
    return (static_cast<std::uint32_t>(cx) * 73856093u ^ static_cast<std::uint32_t>(cy) * 19349663u) %
           kBuckets;
  }

  // Calls `visit(bucket)` for every bucket that may hold a square
  // overlapping `f`.
  template <class Visit>
  void Near(const PixelFill& f, Visit&& visit) {
    const int cx0 = (f.x0 - kCell + 1) >> kCellShift, cx1 = (f.x1 - 1) >> kCellShift;
    const int cy0 = (f.y0 - kCell + 1) >> kCellShift, cy1 = (f.y1 - 1) >> kCellShift;
    if (cx1 < cx0 || cy1 < cy0) return;
    if (static_cast<std::int64_t>(cx1 - cx0 + 1) * (cy1 - cy0 + 1) > kMaxCellsLooked) {
      for (auto& b : buckets_) visit(b);
      return;
    }
    for (int cy = cy0; cy <= cy1; ++cy) {
      for (int cx = cx0; cx <= cx1; ++cx) visit(buckets_[Bucket(cx, cy)]);
    }
  }

  // Whether the picture shows exactly this fill now.
  bool Shows(const PixelFill& fill) const {
    for (const PixelFill& s : buckets_[Bucket(fill.x0 >> kCellShift, fill.y0 >> kCellShift)]) {
      if (s.SameRect(fill)) return s.pixel == fill.pixel;
    }
    return false;
  }

  template <class Apply>
  void Pass(const PixelFill& fill, Apply& apply) {
    apply(fill);
    if (++fills_ > kMaxFillsPerTick) {
      Clear();
      return;
    }
    // Squares known to be intact: painted last by a fill that nothing has
    // painted over since. Forgetting one only costs a fill that could have
    // been left out, so past so many all are forgotten.
    Near(fill, [&](std::vector<PixelFill>& b) {
      squares_ -= std::erase_if(b, [&](const PixelFill& s) { return s.Overlaps(fill); });
    });
    if (fill.pixel == background_ || fill.x1 - fill.x0 > kCell || fill.y1 - fill.y0 > kCell) return;
    if (squares_ == kMaxSquares) Clear();
    buckets_[Bucket(fill.x0 >> kCellShift, fill.y0 >> kCellShift)].push_back(fill);
    ++squares_;
  }

  void Clear() {
    if (squares_ == 0) return;
    for (auto& b : buckets_) b.clear();
    squares_ = 0;
  }

  std::uint32_t background_;
  std::array<std::vector<PixelFill>, kBuckets> buckets_;
  std::size_t squares_ = 0;
  std::optional<PixelFill> held_;
  std::size_t fills_ = 0;
};

}  // namespace vz
