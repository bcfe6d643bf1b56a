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
  if (gc_ != XCB_NONE && X11Connection() == c_) xcb_free_gc(c_, gc_);
}

bool X11Canvas::Use(std::uint32_t window) {
  if (window == XCB_NONE || !X11Connection()) return false;
  if (window == window_ && gc_ != XCB_NONE) return true;
  if (gc_ != XCB_NONE && X11Connection() == c_) xcb_free_gc(c_, gc_);
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
  gc_ = xcb_generate_id(c_);
  const std::uint32_t values[] = {0};  // no exposure events from our fills
  xcb_create_gc(c_, gc_, window_, XCB_GC_GRAPHICS_EXPOSURES, values);
  foregroundSet_ = false;
  runLength_ = 0;
  return true;
}

std::uint32_t X11Canvas::Pixel(Colour colour) const {
  auto place = [](std::uint32_t v, const Channel& ch) {
    if (ch.bits <= 0) return std::uint32_t{0};
    v = ch.bits >= 8 ? v << (ch.bits - 8) : v >> (8 - ch.bits);
    return v << ch.shift;
  };
  return place(colour & 0xFF, red_) | place((colour >> 8) & 0xFF, green_) |
         place((colour >> 16) & 0xFF, blue_);
}

void X11Canvas::Fill(const QRect& r, Colour colour) {
  if (gc_ == XCB_NONE || r.isEmpty()) return;
  const std::uint32_t pixel = Pixel(colour);
  if (!foregroundSet_ || pixel != foreground_) {
    SendRun();
    xcb_change_gc(c_, gc_, XCB_GC_FOREGROUND, &pixel);
    foreground_ = pixel;
    foregroundSet_ = true;
  }
  if (runLength_ == run_.size()) SendRun();
  run_[runLength_++] = {static_cast<std::int16_t>(r.x()), static_cast<std::int16_t>(r.y()),
                        static_cast<std::uint16_t>(r.width()),
                        static_cast<std::uint16_t>(r.height())};
}

void X11Canvas::SendRun() {
  if (runLength_ == 0) return;
  xcb_poly_fill_rectangle(c_, window_, gc_, static_cast<std::uint32_t>(runLength_), run_.data());
  runLength_ = 0;
}

void X11Canvas::Flush() {
  if (gc_ == XCB_NONE) return;
  SendRun();
  xcb_flush(c_);
}

}  // namespace vz
