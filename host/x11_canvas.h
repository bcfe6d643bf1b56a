#pragma once

#include <QRect>
#include <array>
#include <cstdint>

#include "particle_field.h"
#include "x11_connection.h"

namespace vz {

// Fills rectangles straight on an X window through one graphics context on
// Qt's connection. The foreground changes only when the colour does, a run
// of fills of one colour goes out as one request, and nothing is waited for:
// a tick costs its fills and one flush.
class X11Canvas {
 public:
  X11Canvas() = default;
  X11Canvas(const X11Canvas&) = delete;
  X11Canvas& operator=(const X11Canvas&) = delete;
  ~X11Canvas();

  // Draws on `window` from now on (a re-created window gets a new context);
  // false when there is no X connection or no window.
  bool Use(std::uint32_t window);
  // Queues a fill of `r`, in the window's pixels; `r` must fit in 16 bits.
  void Fill(const QRect& r, Colour colour);
  // Sends what is queued and flushes the connection.
  void Flush();

 private:
  void SendRun();
  std::uint32_t Pixel(Colour colour) const;

  xcb_connection_t* c_ = nullptr;
  xcb_window_t window_ = XCB_NONE;
  xcb_gcontext_t gc_ = XCB_NONE;
  // The context's foreground; valid once set.
  std::uint32_t foreground_ = 0;
  bool foregroundSet_ = false;
  std::array<xcb_rectangle_t, 256> run_{};
  std::size_t runLength_ = 0;
  // Where each 8-bit channel goes in a pixel of the screen's visual.
  struct Channel {
    int shift = 0;
    int bits = 8;
  };
  Channel red_, green_, blue_;
};

}  // namespace vz
