#pragma once

#include <vector>

#include "draw_surface.h"

namespace vz::test {

struct Fill {
  std::int32_t x, y, w, h;
  Colour colour;
  bool operator==(const Fill&) const = default;
};

// Records every fill; can refuse the drawing context.
class RecordingSurface : public DrawSurface {
 public:
  explicit RecordingSurface(ClientRect rc = {0, 0, 800, 600}) : rc_(rc) {}
  ClientRect GetClientRect() const override { return rc_; }
  bool BeginDraw() override {
    ++begins;
    drawing = canDraw;
    return canDraw;
  }
  void EndDraw() override {
    ++ends;
    drawing = false;
  }
  void FillSolidRect(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                     Colour c) override {
    outsideContext |= !drawing;
    fills.push_back({x, y, w, h, c});
  }

  ClientRect rc_;
  bool canDraw = true;
  bool drawing = false;
  bool outsideContext = false;
  int begins = 0;
  int ends = 0;
  std::vector<Fill> fills;
};

}  // namespace vz::test
