#pragma once

#include <QRect>
#include <array>
#include <cstdint>
#include <vector>

#include "particle_field.h"
#include "unchanged_fills.h"
#include "x11_connection.h"

namespace vz {

// Fills rectangles straight on an X window on Qt's connection. Fills that
// change nothing (a square erased and drawn again where it was, in the
// colour it shows) are left out; each colour in use has a graphics context
// of its own, so no fill changes a foreground; a run of fills of one colour
// goes out as one request, and nothing is waited for: a tick costs its fills
// and one flush.
class X11Canvas {
 public:
  X11Canvas() = default;
  X11Canvas(const X11Canvas&) = delete;
  X11Canvas& operator=(const X11Canvas&) = delete;
  ~X11Canvas();

  // Draws on `window` from now on (a re-created window gets new contexts);
  // false when there is no X connection or no window.
  bool Use(std::uint32_t window);
  // Queues a fill of `r`, in the window's pixels; `r` must fit in 16 bits.
  void Fill(const QRect& r, Colour colour);
  // Sends what is queued and flushes the connection.
  void Flush();
  // Something else changed the window's pixels: nothing on it is known.
  void Forget() { unchanged_.Reset(); }

 private:
  // Colours past this many share one context whose foreground changes.
  static constexpr std::size_t kMaxPens = 32;
  struct Pen {
    std::uint32_t pixel;
    xcb_gcontext_t gc;
  };

  void Emit(const PixelFill& fill);
  xcb_gcontext_t PenFor(std::uint32_t pixel);
  void SendRun();
  void FreePens();
  std::uint32_t Pixel(Colour colour) const;

  xcb_connection_t* c_ = nullptr;
  xcb_window_t window_ = XCB_NONE;
  std::vector<Pen> pens_;
  // The context for colours beyond the pens, and its foreground.
  xcb_gcontext_t spare_ = XCB_NONE;
  std::uint32_t spareForeground_ = 0;
  bool spareSet_ = false;
  xcb_gcontext_t runGc_ = XCB_NONE;
  std::array<xcb_rectangle_t, 256> run_{};
  std::size_t runLength_ = 0;
  UnchangedFills unchanged_{0};
  // Where each 8-bit channel goes in a pixel of the screen's visual.
  struct Channel {
    int shift = 0;
    int bits = 8;
  };
  Channel red_, green_, blue_;
};

}  // namespace vz
