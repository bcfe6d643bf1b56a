#include "x11_canvas.h"

#include <bit>

namespace vz {

namespace {

// The root visual of the connection's first screen: what Qt gives an opaque
// window.
const xcb_visualtype_t* RootVisual(xcb_connection_t* c) {
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  if (!screen) return nullptr;
  for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d)) {
    for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
      if (v.data->visual_id == screen->root_visual) return v.data;
    }
  }
  return nullptr;
}

}  // namespace

X11Canvas::~X11Canvas() {
  // Qt's connection may already be gone at the very end of the program.
  if (X11Connection() == c_) FreePens();
}

void X11Canvas::FreePens() {
  if (!c_) return;
  for (const Pen& pen : pens_) xcb_free_gc(c_, pen.gc);
  if (spare_ != XCB_NONE) xcb_free_gc(c_, spare_);
  pens_.clear();
  spare_ = XCB_NONE;
  spareSet_ = false;
  runGc_ = XCB_NONE;
  runLength_ = 0;
}

bool X11Canvas::Use(std::uint32_t window) {
  // Once a tick: Qt's connection, which a window never outlives, is not
  // asked for again (that goes through its native interface each time).
  if (window == window_ && c_ && window != XCB_NONE) return true;
  if (window == XCB_NONE || !X11Connection()) return false;
  if (X11Connection() == c_) {
    FreePens();
  } else {
    pens_.clear();
    spare_ = XCB_NONE;
    spareSet_ = false;
    runGc_ = XCB_NONE;
    runLength_ = 0;
  }
  c_ = X11Connection();
  if (const xcb_visualtype_t* v = RootVisual(c_);
      v && (v->_class == XCB_VISUAL_CLASS_TRUE_COLOR ||
            v->_class == XCB_VISUAL_CLASS_DIRECT_COLOR)) {
    auto channel = [](std::uint32_t mask) {
      return Channel{std::countr_zero(mask), std::popcount(mask)};
    };
    red_ = channel(v->red_mask);
    green_ = channel(v->green_mask);
    blue_ = channel(v->blue_mask);
  }
  window_ = window;
  unchanged_.Reset();
  return true;
}

std::uint32_t X11Canvas::Pixel(Colour colour) const {
  auto place = [](std::uint32_t v, const Channel& ch) {
    if (ch.bits <= 0) return std::uint32_t{0};
    v = ch.bits >= 8 ? v << (ch.bits - 8) : v >> (8 - ch.bits);
    return v << ch.shift;
  };
  return place(Red(colour), red_) | place(Green(colour), green_) | place(Blue(colour), blue_);
}

void X11Canvas::Fill(const QRect& r, Colour colour) {
  if (window_ == XCB_NONE || r.isEmpty()) return;
  unchanged_.Add(PixelFill{r.x(), r.y(), r.x() + r.width(), r.y() + r.height(), Pixel(colour)},
                 [this](const PixelFill& f) { Emit(f); });
}

xcb_gcontext_t X11Canvas::PenFor(std::uint32_t pixel) {
  for (const Pen& pen : pens_) {
    if (pen.pixel == pixel) return pen.gc;
  }
  // No exposure events from our fills.
  const std::uint32_t values[] = {pixel, 0};
  const std::uint32_t mask = XCB_GC_FOREGROUND | XCB_GC_GRAPHICS_EXPOSURES;
  if (pens_.size() < kMaxPens) {
    const xcb_gcontext_t gc = xcb_generate_id(c_);
    xcb_create_gc(c_, gc, window_, mask, values);
    pens_.push_back({pixel, gc});
    return gc;
  }
  if (spare_ == XCB_NONE) {
    spare_ = xcb_generate_id(c_);
    xcb_create_gc(c_, spare_, window_, mask, values);
  } else if (!spareSet_ || spareForeground_ != pixel) {
    if (runGc_ == spare_) SendRun();
    xcb_change_gc(c_, spare_, XCB_GC_FOREGROUND, &pixel);
  }
  spareForeground_ = pixel;
  spareSet_ = true;
  return spare_;
}

void X11Canvas::Emit(const PixelFill& f) {
  const xcb_gcontext_t gc = PenFor(f.pixel);
  if (gc != runGc_ || runLength_ == run_.size()) SendRun();
  runGc_ = gc;
  run_[runLength_++] = {static_cast<std::int16_t>(f.x0), static_cast<std::int16_t>(f.y0),
                        static_cast<std::uint16_t>(f.x1 - f.x0),
                        static_cast<std::uint16_t>(f.y1 - f.y0)};
}

void X11Canvas::SendRun() {
  if (runLength_ == 0) return;
  xcb_poly_fill_rectangle(c_, window_, runGc_, static_cast<std::uint32_t>(runLength_),
                          run_.data());
  runLength_ = 0;
}

void X11Canvas::Flush() {
  if (window_ == XCB_NONE) return;
  unchanged_.Finish([this](const PixelFill& f) { Emit(f); });
  SendRun();
  xcb_flush(c_);
}

}  // namespace vz
