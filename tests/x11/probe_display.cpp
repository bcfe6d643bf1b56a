#include "probe_display.h"

#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <poll.h>
#include <sys/uio.h>
#include <unistd.h>
#include <thread>

namespace probe {

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

xcb_atom_t Atom(const char* name) {
  auto* r = xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
  const xcb_atom_t a = r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
  std::free(r);
  return a;
}


// The highest window that shows on the screen (a window manager may keep
// small windows of its own off the screen, above everything).
Top Highest() {
  Top top;
  ForEachViewable([&](const Top& t) {
    if (t.x + t.w > 0 && t.y + t.h > 0 && t.x < screen->width_in_pixels &&
        t.y < screen->height_in_pixels) {
      top = t;
    }
  });
  return top;
}
// The saver: a viewable override-redirect window over the whole screen.
bool IsSaver(const Top& t) {
  return t.override && t.x <= 0 && t.y <= 0 && t.x + t.w >= screen->width_in_pixels &&
         t.y + t.h >= screen->height_in_pixels;
}

// A plain window over the middle of the screen, mapped and viewable.
// Without `takesFocus` it tells window managers never to focus it.
xcb_window_t MapWindow(bool takesFocus) {
  const xcb_window_t w = xcb_generate_id(c);
  const std::uint32_t values[] = {screen->white_pixel, XCB_EVENT_MASK_STRUCTURE_NOTIFY};
  xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, screen->width_in_pixels / 4,
                    screen->height_in_pixels / 4, screen->width_in_pixels / 2,
                    screen->height_in_pixels / 2, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                    screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
  if (!takesFocus) {
    const std::uint32_t hints[9] = {1 /* input given */, 0 /* no input */};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32,
                        9, hints);
  }
  xcb_map_window(c, w);
  xcb_flush(c);
  while (xcb_generic_event_t* e = xcb_wait_for_event(c)) {
    const bool mapped = (e->response_type & 0x7F) == XCB_MAP_NOTIFY;
    std::free(e);
    if (mapped) break;
  }
  return w;
}

// XFixes GetCursorImage, sent by hand: the core library is all we link.
std::string CursorImage() {
  static xcb_extension_t xfixes = {"XFIXES", 0};
  struct {
    std::uint8_t major, minor;
    std::uint16_t length;
    std::uint32_t clientMajor, clientMinor;
  } version{0, 0, 0, 4, 0};
  struct {
    std::uint8_t major, minor;
    std::uint16_t length;
  } image{0, 0, 0};
  const xcb_protocol_request_t versionRequest{2, &xfixes, 0 /* QueryVersion */, 0};
  const xcb_protocol_request_t imageRequest{2, &xfixes, 4 /* GetCursorImage */, 0};
  const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xfixes);
  if (!ext || !ext->present) return "cursor no-xfixes";

  iovec parts[4];
  parts[2] = {&version, sizeof version};
  parts[3] = {nullptr, 0};
  const unsigned seq = xcb_send_request(c, XCB_REQUEST_CHECKED, parts + 2, &versionRequest);
  std::free(xcb_wait_for_reply(c, seq, nullptr));

  parts[2] = {&image, sizeof image};
  const unsigned seq2 = xcb_send_request(c, XCB_REQUEST_CHECKED, parts + 2, &imageRequest);
  auto* reply = static_cast<std::uint8_t*>(xcb_wait_for_reply(c, seq2, nullptr));
  if (!reply) return "cursor error";
  std::uint16_t w, h;
  std::memcpy(&w, reply + 12, 2);
  std::memcpy(&h, reply + 14, 2);
  int opaque = 0;
  for (int i = 0; i < w * h; ++i) {
    std::uint32_t argb;
    std::memcpy(&argb, reply + 32 + 4 * i, 4);
    opaque += (argb >> 24) != 0;
  }
  std::free(reply);
  return "cursor " + std::to_string(w) + " " + std::to_string(h) + " opaque " +
         std::to_string(opaque);
}

// Pixels of the screen that are not black, or that have `rgb`.
long CountPixels(std::optional<std::uint32_t> rgb) {
  const int w = screen->width_in_pixels, h = screen->height_in_pixels;
  long n = 0;
  // In bands: one reply for the whole screen could pass the request limit.
  for (int y = 0; y < h; y += 64) {
    const int rows = std::min(64, h - y);
    auto* img = xcb_get_image_reply(
        c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, 0, y, w, rows, ~0u),
        nullptr);
    if (!img) return -1;
    if (img->depth != 24 || xcb_get_image_data_length(img) != w * rows * 4) {
      std::free(img);
      return -2;
    }
    const std::uint8_t* data = xcb_get_image_data(img);
    for (int i = 0; i < w * rows; ++i) {
      std::uint32_t px;
      std::memcpy(&px, data + 4 * i, 4);
      px &= 0xFFFFFF;
      n += rgb ? px == *rgb : px != 0;
    }
    std::free(img);
  }
  return n;
}

std::string Lit() {
  const long lit = CountPixels(std::nullopt);
  if (lit < 0) return lit == -1 ? "lit error" : "lit unsupported-format";
  return "lit " + std::to_string(lit) + " of " +
         std::to_string(long{screen->width_in_pixels} * screen->height_in_pixels);
}

// The saver's cover on this screen, as the saver names it on its selection
// owner, and the saver's window: the highest other window beside it.
SaverWindows FindSaver() {
  SaverWindows found;
  const xcb_atom_t selection = Atom("_VIVEDAZIV_SAVER");
  auto* o = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
  const xcb_window_t owner = o ? o->owner : xcb_window_t{XCB_NONE};
  std::free(o);
  if (owner == XCB_NONE) return found;
  auto* p = xcb_get_property_reply(
      c, xcb_get_property(c, 0, owner, selection, XCB_ATOM_WINDOW, 0, 1), nullptr);
  if (p && xcb_get_property_value_length(p) == 4) {
    std::memcpy(&found.cover, xcb_get_property_value(p), 4);
  }
  std::free(p);
  if (found.cover == XCB_NONE) return found;
  auto* t = xcb_query_tree_reply(c, xcb_query_tree(c, found.cover), nullptr);
  if (!t) return found;
  found.parent = t->parent;
  std::free(t);
  auto* kids = xcb_query_tree_reply(c, xcb_query_tree(c, found.parent), nullptr);
  if (!kids) return found;
  const xcb_window_t* k = xcb_query_tree_children(kids);
  for (int i = xcb_query_tree_children_length(kids) - 1; i >= 0; --i) {
    if (k[i] != found.cover) {
      found.saver = k[i];
      break;
    }
  }
  std::free(kids);
  return found;
}

// Viewable, covering the whole screen, unshaped and, with `parent`, the
// highest of its children.
bool InPlace(xcb_window_t w, xcb_window_t parent) {
  auto* a = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr);
  auto* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr);
  auto* s = xcb_shape_query_extents_reply(c, xcb_shape_query_extents(c, w), nullptr);
  auto* kids = parent ? xcb_query_tree_reply(c, xcb_query_tree(c, parent), nullptr) : nullptr;
  const int n = kids ? xcb_query_tree_children_length(kids) : 0;
  const bool ok = a && g && s && a->map_state == XCB_MAP_STATE_VIEWABLE && g->x <= 0 &&
                  g->y <= 0 && g->x + g->width >= screen->width_in_pixels &&
                  g->y + g->height >= screen->height_in_pixels && !s->bounding_shaped &&
                  !s->clip_shaped && (!parent || (n > 0 && xcb_query_tree_children(kids)[n - 1] == w));
  std::free(a);
  std::free(g);
  std::free(s);
  std::free(kids);
  return ok;
}

xcb_window_t FindNamed(xcb_window_t w, const std::string& name, int depth) {
  if (depth > 32) return XCB_NONE;
  auto* a = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr);
  const bool viewable = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
  std::free(a);
  if (!viewable && w != screen->root) return XCB_NONE;
  auto* p = xcb_get_property_reply(
      c, xcb_get_property(c, 0, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256), nullptr);
  const bool named = p && std::string(static_cast<const char*>(xcb_get_property_value(p)),
                                      xcb_get_property_value_length(p)) == name;
  std::free(p);
  if (named) return w;
  auto* t = xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr);
  xcb_window_t found = XCB_NONE;
  for (int i = 0; t && i < xcb_query_tree_children_length(t) && !found; ++i) {
    found = FindNamed(xcb_query_tree_children(t)[i], name, depth + 1);
  }
  std::free(t);
  return found;
}

// A window of our own over `x, y, w, h`, mapped.
xcb_window_t Popup(int x, int y, int w, int h, std::uint32_t rgb) {
  const xcb_window_t win = xcb_generate_id(c);
  const std::uint32_t values[] = {rgb, 1};
  xcb_create_window(c, XCB_COPY_FROM_PARENT, win, screen->root, x, y, w, h, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                    XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
  xcb_map_window(c, win);
  return win;
}

// Does HOW to the saver's window (and, for lower, shape and move, its cover
// too); then polls until the saver is back in place above its cover and
// neither grab can be had, letting go at once of any grab it gets.

}  // namespace probe
