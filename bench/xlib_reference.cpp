// The yardstick for what a tick costs: a bare xcb program running the
// saver's own Step (the same force kernel, the stored defaults) on a
// full-screen window, on an absolute-deadline timer: one wake-up a tick, the
// first tick as soon as the window is exposed.
// Its fills go out the way the saver batches them (a graphics context per
// colour, a run of fills of one colour per request, one flush a tick), but
// every fill is sent, including those that change nothing.
// Usage: xlib_reference [PARTICLES] [DELAY_MS]   (defaults 50 and 50)
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <map>
#include <vector>

#include "entries.h"
#include "entry_table.h"
#include "seed.h"
#include "step.h"

namespace {

class XcbSurface : public vz::DrawSurface {
 public:
  XcbSurface(xcb_connection_t* c, xcb_window_t w, int width, int height)
      : c_(c), w_(w), width_(width), height_(height) {}

  vz::ClientRect GetClientRect() const override { return {0, 0, width_, height_}; }
  bool BeginDraw() override { return true; }
  void EndDraw() override {
    Send();
    xcb_flush(c_);
  }
  void FillSolidRect(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                     vz::Colour colour) override {
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = std::min(x + w, width_), y1 = std::min(y + h, height_);
    if (x0 >= x1 || y0 >= y1) return;
    const xcb_gcontext_t gc = Pen(colour);
    if (gc != runGc_ || run_.size() == 256) Send();
    runGc_ = gc;
    run_.push_back({std::int16_t(x0), std::int16_t(y0), std::uint16_t(x1 - x0),
                    std::uint16_t(y1 - y0)});
  }

 private:
  xcb_gcontext_t Pen(vz::Colour c) {
    auto [it, made] = pens_.try_emplace(c, 0);
    if (made) {
      // 0x00BBGGRR into a 24-bit TrueColor pixel, as on Xvfb.
      const std::uint32_t values[] = {((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF), 0};
      it->second = xcb_generate_id(c_);
      xcb_create_gc(c_, it->second, w_, XCB_GC_FOREGROUND | XCB_GC_GRAPHICS_EXPOSURES, values);
    }
    return it->second;
  }
  void Send() {
    if (run_.empty()) return;
    xcb_poly_fill_rectangle(c_, w_, runGc_, std::uint32_t(run_.size()), run_.data());
    run_.clear();
  }

  xcb_connection_t* c_;
  xcb_window_t w_;
  int width_, height_;
  std::map<vz::Colour, xcb_gcontext_t> pens_;
  xcb_gcontext_t runGc_ = 0;
  std::vector<xcb_rectangle_t> run_;
};

void AddMs(timespec& t, long ms) {
  t.tv_nsec += ms * 1000000L;
  t.tv_sec += t.tv_nsec / 1000000000L;
  t.tv_nsec %= 1000000000L;
}

}  // namespace

int main(int argc, char** argv) {
  vz::EntryValues entries = vz::ParticleDefaults();
  if (argc > 1) entries.NumParticles = std::atoi(argv[1]);
  if (argc > 2) entries.DelayTime = std::max(10, std::atoi(argv[2]));
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(c)) return 1;
  const xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  const xcb_window_t w = xcb_generate_id(c);
  const std::uint32_t values[] = {s->black_pixel, 1,
                                  XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_BUTTON_PRESS |
                                      XCB_EVENT_MASK_EXPOSURE};
  xcb_create_window(c, XCB_COPY_FROM_PARENT, w, s->root, 0, 0, s->width_in_pixels,
                    s->height_in_pixels, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, s->root_visual,
                    XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
  xcb_map_window(c, w);
  xcb_flush(c);

  XcbSurface surface(c, w, s->width_in_pixels, s->height_in_pixels);
  vz::ParticleField field;
  field.params = vz::ParamsFromEntries(entries);
  field.count = vz::CountFromEntries(entries);
  vz::Seed(field, surface.GetClientRect());

  for (bool exposed = false; !exposed;) {
    xcb_generic_event_t* e = xcb_wait_for_event(c);
    if (!e) return 1;
    exposed = (e->response_type & 0x7F) == XCB_EXPOSE;
    std::free(e);
  }
  timespec next{};
  clock_gettime(CLOCK_MONOTONIC, &next);
  for (bool first = true;; first = false) {
    if (!first) {
      AddMs(next, entries.DelayTime);
      clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    }
    while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
      const int type = e->response_type & 0x7F;
      std::free(e);
      if (type == XCB_KEY_PRESS || type == XCB_BUTTON_PRESS) return 0;
    }
    if (xcb_connection_has_error(c)) return 1;
    vz::Step(field, surface);
  }
}
