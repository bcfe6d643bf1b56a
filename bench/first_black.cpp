// first_black COMMAND [ARGS...]: starts COMMAND and prints, in milliseconds,
// how long it took until the X screen turned black: at least 95 % of an
// 8 × 8 grid of points over the screen black (a few particles may lie on
// them). The screen must not be black before (set the root to white). The
// command is then sent SIGTERM and waited for. Prints "timeout" after 20 s.
// With --particles first, waits instead until the first coloured square
// shows on the black screen (every fourth pixel of every fourth row read,
// every 5 ms, so that the probe does not slow down the X server it watches).
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

extern char** environ;

namespace {

int BlackPoints(xcb_connection_t* c, const xcb_screen_t* s) {
  int black = 0;
  xcb_get_image_cookie_t cookies[64];
  for (int i = 0; i < 64; ++i) {
    const int x = (2 * (i % 8) + 1) * s->width_in_pixels / 16;
    const int y = (2 * (i / 8) + 1) * s->height_in_pixels / 16;
    cookies[i] = xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, s->root, static_cast<std::int16_t>(x),
                               static_cast<std::int16_t>(y), 1, 1, ~0u);
  }
  for (auto& cookie : cookies) {
    xcb_get_image_reply_t* r = xcb_get_image_reply(c, cookie, nullptr);
    if (r && xcb_get_image_data_length(r) >= 4) {
      std::uint32_t px;
      std::memcpy(&px, xcb_get_image_data(r), 4);
      black += (px & 0xFFFFFF) == 0;
    }
    std::free(r);
  }
  return black;
}

// Whether a pixel neither black nor white shows; squares are 4 × 4, so
// every fourth pixel each way meets all of them.
bool AnyColour(xcb_connection_t* c, const xcb_screen_t* s) {
  const int w = s->width_in_pixels, h = s->height_in_pixels;
  std::vector<xcb_get_image_cookie_t> rows;
  for (int y = 0; y < h; y += 4) {
    rows.push_back(xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, s->root, 0,
                                 static_cast<std::int16_t>(y), w, 1, ~0u));
  }
  bool found = false;
  for (auto& cookie : rows) {
    xcb_get_image_reply_t* r = xcb_get_image_reply(c, cookie, nullptr);
    if (!found && r && xcb_get_image_data_length(r) >= w * 4) {
      const auto* px = reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(r));
      for (int x = 0; x < w && !found; x += 4) {
        const std::uint32_t v = px[x] & 0xFFFFFF;
        found = v != 0 && v != 0xFFFFFF;
      }
    }
    std::free(r);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  const bool particles = argc > 1 && std::strcmp(argv[1], "--particles") == 0;
  if (particles) ++argv, --argc;
  if (argc < 2) return 2;
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(c)) return 2;
  const xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  if (BlackPoints(c, s) >= 61) {
    std::fprintf(stderr, "the screen is black already\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  pid_t pid;
  if (posix_spawn(&pid, argv[1], nullptr, nullptr, argv + 1, environ) != 0) return 2;
  double ms = -1;
  for (;;) {
    const double elapsed =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (BlackPoints(c, s) >= 61 && (!particles || AnyColour(c, s))) {
      ms = elapsed;
      break;
    }
    if (elapsed > 20'000) break;
  }
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  if (ms < 0) {
    std::printf("timeout\n");
  } else {
    std::printf("%.1f\n", ms);
  }
  xcb_disconnect(c);
  return 0;
}
