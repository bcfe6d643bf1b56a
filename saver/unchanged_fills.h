#pragma once

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
    squares_.clear();
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
  // Whether the picture shows exactly this fill now.
  bool Shows(const PixelFill& fill) const {
    for (const PixelFill& s : squares_) {
      if (s.SameRect(fill)) return s.pixel == fill.pixel;
    }
    return false;
  }

  template <class Apply>
  void Pass(const PixelFill& fill, Apply& apply) {
    apply(fill);
    if (++fills_ > kMaxFillsPerTick) {
      squares_.clear();
      return;
    }
    // Squares known to be intact: painted last by a fill that nothing has
    // painted over since. The oldest go first when there are too many:
    // squares painted long ago are the least likely to be intact still.
    std::erase_if(squares_, [&](const PixelFill& s) { return s.Overlaps(fill); });
    if (fill.pixel == background_) return;
    if (squares_.size() == kMaxSquares) squares_.erase(squares_.begin());
    squares_.push_back(fill);
  }

  std::uint32_t background_;
  std::vector<PixelFill> squares_;
  std::optional<PixelFill> held_;
  std::size_t fills_ = 0;
};

}  // namespace vz
