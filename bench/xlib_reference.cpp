// The yardstick for what a tick costs: a bare Xlib program doing the X work
// the saver does per tick on a full-screen window (an erase and a draw fill
// per particle, one flush), on an absolute-deadline timer, with the plain
// force loop.
// Usage: xlib_reference [PARTICLES] [DELAY_MS]   (defaults 50 and 50)
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

#include "force.h"
#include "particle_field.h"

namespace {

void AddMs(timespec& t, long ms) {
  t.tv_nsec += ms * 1000000L;
  t.tv_sec += t.tv_nsec / 1000000000L;
  t.tv_nsec %= 1000000000L;
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 50;
  const long delay = argc > 2 ? std::max(10L, std::atol(argv[2])) : 50;
  Display* d = XOpenDisplay(nullptr);
  if (!d) return 1;
  const int screen = DefaultScreen(d);
  const int width = DisplayWidth(d, screen);
  const int height = DisplayHeight(d, screen);
  XSetWindowAttributes a{};
  a.background_pixel = BlackPixel(d, screen);
  a.override_redirect = True;
  a.event_mask = KeyPressMask | ButtonPressMask;
  const Window w = XCreateWindow(d, RootWindow(d, screen), 0, 0, width, height, 0,
                                 CopyFromParent, InputOutput, CopyFromParent,
                                 CWBackPixel | CWOverrideRedirect | CWEventMask, &a);
  XMapRaised(d, w);
  const GC gc = XCreateGC(d, w, 0, nullptr);

  // The saver's default field: random spots at rest, masses 1..3, bright colours.
  std::mt19937 random(1);
  std::vector<vz::Particle> q(n);
  std::vector<unsigned long> colours(n);
  for (int i = 0; i < n; ++i) {
    q[i] = {0.0, 0.0, double(random() % (width - 4)), double(random() % (height - 4)),
            1.0 + random() % 3};
    colours[i] = 0x404040 | (random() & 0xFFFFFF);
  }
  vz::SimParams p;
  p.gravity = 2.0;
  p.friction = 1;
  p.mu = 0.9995;
  const double right = width - 4, bottom = height - 4;

  timespec next{};
  clock_gettime(CLOCK_MONOTONIC, &next);
  for (;;) {
    AddMs(next, delay);
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    while (XPending(d)) {
      XEvent e;
      XNextEvent(d, &e);
      if (e.type == KeyPress || e.type == ButtonPress) return 0;
    }
    vz::ForcePassPlain(q.data(), n, p);
    for (int i = 0; i < n; ++i) {
      vz::Particle& r = q[i];
      XSetForeground(d, gc, BlackPixel(d, screen));
      XFillRectangle(d, w, gc, int(r.x), int(r.y), 4, 4);
      r.x += r.vx;
      r.y += r.vy;
      if (r.x > right) r.vx = -r.vx, r.x = right;
      if (r.y > bottom) r.vy = -r.vy, r.y = bottom;
      if (r.x < 0) r.vx = -r.vx, r.x = 0;
      if (r.y < 0) r.vy = -r.vy, r.y = 0;
      XSetForeground(d, gc, colours[i]);
      XFillRectangle(d, w, gc, int(r.x), int(r.y), 4, 4);
    }
    XFlush(d);
  }
}
