// Looks at and pokes the X display the way the saver's test needs; one
// command per run, one line of answer on stdout.
//   top            the highest viewable top-level window:
//                  "top ID X Y W H OVERRIDE" or "top none"
//   covering       how many viewable override-redirect windows cover the
//                  whole screen: "covering N"
//   lit            non-black pixels of the screen: "lit N of M"
//   cursor         the pointer image: "cursor W H opaque N" (XFixes)
//   grab           try to take keyboard and pointer, then let go at once:
//                  "keyboard STATUS pointer STATUS"
//   hold MS        hold keyboard and pointer for MS milliseconds: "held"
//   cover [nofocus]  map a window over the screen's middle (one a window
//                  manager is told never to focus), wait, then report
//                  whether it (or a window manager's frame round it) stayed
//                  above the saver: "cover on-top" or "cover below"
//   watch-grabs    try to take keyboard and pointer every 5 ms until stdin
//                  ends, letting go at once of any taken: "taken N of M"
//   focus MS       map a window, give it the input focus, keep it MS ms:
//                  "focused"
//   close ID       ask window ID to close as a window manager does: "sent"
//   stay           stay connected until stdin ends: "staying"
//   attack HOW     a hostile client: unmap, destroy or reparent (into a small
//                  window of its own) the saver's window, then wait up to 5 s
//                  for a saver to cover the screen again with both grabs
//                  held: "recovered MS" or "not-recovered"
//                  lower, shape (empty), move (off-screen, 1 × 1) the
//                  saver's window and cover likewise
//   unmap-loop MS  unmap the saver's window as fast as it can for MS ms:
//                  "unmapped N"
//   raise-loop MS  raise a green full-screen override-redirect window of its
//                  own as fast as it can for MS ms: "raised N"
//   popups MS [X Y W H]  map two green override-redirect windows at once
//                  (over the box given, else the screen), destroy them after
//                  MS ms: "popped"
//   count RRGGBB   pixels of that colour on the screen: "count N"
//   keysink        map a window of its own, focus it, and count the keys it
//                  gets until stdin ends: "ready", then "keys N"
//   send-key       send a key press and release to the saver's window as
//                  another client may (XSendEvent): "sent"
//   find NAME      a viewable window named NAME, searched below the root and
//                  where the saver keeps its windows: its id, or nothing
//   own-selection  own the saver selection without holding anything, until
//                  stdin ends: "owning"
//   own-selection-grab  the same, holding the keyboard too
// A first argument @N runs the command on X screen N instead of the default.
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

namespace {

xcb_connection_t* c = nullptr;
xcb_screen_t* screen = nullptr;

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

xcb_atom_t Atom(const char* name) {
  auto* r = xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
  const xcb_atom_t a = r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
  std::free(r);
  return a;
}

struct Top {
  xcb_window_t id = XCB_NONE;
  int x = 0, y = 0, w = 0, h = 0;
  bool override = false;
};

struct SaverWindows {
  xcb_window_t cover = XCB_NONE, saver = XCB_NONE, parent = XCB_NONE;
};
SaverWindows FindSaver();

// Viewable input-output children of the root, bottom to top, then those of
// the overlay the saver keeps its windows in, which lies above them all
// (the root does not list it).
template <typename F>
void ForEachViewable(F&& f) {
  xcb_window_t parents[] = {screen->root, FindSaver().parent};
  if (parents[1] == screen->root) parents[1] = XCB_NONE;
  for (xcb_window_t parent : parents) {
    auto* tree = parent ? xcb_query_tree_reply(c, xcb_query_tree(c, parent), nullptr) : nullptr;
    if (!tree) continue;
    const xcb_window_t* kids = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
      auto* a = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, kids[i]), nullptr);
      auto* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, kids[i]), nullptr);
      if (a && g && a->map_state == XCB_MAP_STATE_VIEWABLE &&
          a->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT) {
        f(Top{kids[i], g->x, g->y, g->width, g->height, a->override_redirect != 0});
      }
      std::free(a);
      std::free(g);
    }
    std::free(tree);
  }
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

const char* GrabStatus(std::uint8_t status) {
  switch (status) {
    case XCB_GRAB_STATUS_SUCCESS: return "success";
    case XCB_GRAB_STATUS_ALREADY_GRABBED: return "already-grabbed";
    case XCB_GRAB_STATUS_FROZEN: return "frozen";
    case XCB_GRAB_STATUS_NOT_VIEWABLE: return "not-viewable";
    default: return "invalid-time";
  }
}

// Grabs both devices on the root; answers with the two statuses.
std::string GrabBoth() {
  auto* k = xcb_grab_keyboard_reply(
      c,
      xcb_grab_keyboard(c, 0, screen->root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC,
                        XCB_GRAB_MODE_ASYNC),
      nullptr);
  auto* p = xcb_grab_pointer_reply(
      c,
      xcb_grab_pointer(c, 0, screen->root, XCB_EVENT_MASK_BUTTON_PRESS, XCB_GRAB_MODE_ASYNC,
                       XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE, XCB_CURRENT_TIME),
      nullptr);
  std::string answer = std::string("keyboard ") + (k ? GrabStatus(k->status) : "error") +
                       " pointer " + (p ? GrabStatus(p->status) : "error");
  std::free(k);
  std::free(p);
  return answer;
}

// Grabs both devices, tries again every 5 ms until stdin ends; any grab that
// works is a fault of the grabber under test and let go of at once.
std::string WatchGrabs() {
  std::printf("watching\n");
  std::fflush(stdout);
  long taken = 0, tries = 0;
  pollfd in{STDIN_FILENO, POLLIN, 0};
  while (poll(&in, 1, 5) == 0) {
    ++tries;
    if (GrabBoth().find("success") != std::string::npos) {
      ++taken;
      xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
      xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
      xcb_flush(c);
    }
  }
  return "taken " + std::to_string(taken) + " of " + std::to_string(tries);
}

// The saver: a viewable override-redirect window over the whole screen.
bool IsSaver(const Top& t) {
  return t.override && t.x <= 0 && t.y <= 0 && t.x + t.w >= screen->width_in_pixels &&
         t.y + t.h >= screen->height_in_pixels;
}

// A plain window over the middle of the screen, mapped and viewable.
// Without `takesFocus` it tells window managers never to focus it.
xcb_window_t MapWindow(bool takesFocus = true) {
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
bool InPlace(xcb_window_t w, xcb_window_t parent = XCB_NONE) {
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
std::string Attack(const std::string& how) {
  const SaverWindows saver = FindSaver();
  if (saver.saver == XCB_NONE) return "no-saver";
  const auto start = std::chrono::steady_clock::now();
  const xcb_window_t both[] = {saver.saver, saver.cover};
  if (how == "unmap") {
    xcb_unmap_window(c, saver.saver);
  } else if (how == "destroy") {
    xcb_destroy_window(c, saver.saver);
  } else if (how == "reparent") {
    const xcb_window_t box = Popup(10, 10, 100, 100, screen->white_pixel);
    xcb_reparent_window(c, saver.saver, box, 0, 0);
  } else if (how == "lower") {
    const std::uint32_t below = XCB_STACK_MODE_BELOW;
    for (xcb_window_t w : both) xcb_configure_window(c, w, XCB_CONFIG_WINDOW_STACK_MODE, &below);
  } else if (how == "shape") {
    for (xcb_window_t w : both) {
      xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, 0, w, 0, 0, 0, nullptr);
    }
  } else if (how == "move") {
    const std::uint32_t away[] = {5000, 5000, 1, 1};
    for (xcb_window_t w : both) {
      xcb_configure_window(c, w,
                           XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                               XCB_CONFIG_WINDOW_HEIGHT,
                           away);
    }
  } else {
    return "unknown";
  }
  xcb_flush(c);
  while (std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) {
    Sleep(10);
    const bool grabbed = GrabBoth().find("success") != std::string::npos;
    if (grabbed) {
      xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
      xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
      xcb_flush(c);
    }
    const SaverWindows now = FindSaver();
    if (!grabbed && now.saver != XCB_NONE && InPlace(now.saver, now.parent) &&
        InPlace(now.cover)) {
      const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - start);
      return "recovered " + std::to_string(ms.count());
    }
  }
  return "not-recovered";
}

long Loop(int ms, const auto& step) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  long n = 0;
  while (std::chrono::steady_clock::now() < end) {
    step();
    ++n;
    // Each round answered before the next, as a client that waits would.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
  }
  return n;
}

// Counts the key presses a focused window of ours gets until stdin ends.
std::string KeySink() {
  const xcb_window_t w = MapWindow();
  const std::uint32_t mask = XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
  xcb_change_window_attributes(c, w, XCB_CW_EVENT_MASK, &mask);
  xcb_set_input_focus(c, XCB_INPUT_FOCUS_POINTER_ROOT, w, XCB_CURRENT_TIME);
  xcb_flush(c);
  std::printf("ready\n");
  std::fflush(stdout);
  long keys = 0;
  pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {xcb_get_file_descriptor(c), POLLIN, 0}};
  while (true) {
    while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
      keys += (e->response_type & 0x7F) == XCB_KEY_PRESS;
      std::free(e);
    }
    if (poll(fds, 2, -1) < 0 || (fds[0].revents & (POLLIN | POLLHUP))) break;
  }
  return "keys " + std::to_string(keys);
}

std::string SendKey() {
  const SaverWindows saver = FindSaver();
  if (saver.saver == XCB_NONE) return "no-saver";
  for (std::uint8_t type : {XCB_KEY_PRESS, XCB_KEY_RELEASE}) {
    xcb_key_press_event_t e{};
    e.response_type = type;
    e.detail = 38;  // "a" on the usual keymaps
    e.root = screen->root;
    e.event = saver.saver;
    e.same_screen = 1;
    for (xcb_window_t to : {saver.saver, xcb_window_t{XCB_SEND_EVENT_DEST_ITEM_FOCUS}}) {
      e.event = to == XCB_SEND_EVENT_DEST_ITEM_FOCUS ? saver.saver : to;
      xcb_send_event(c, 1, to, XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE,
                     reinterpret_cast<const char*>(&e));
    }
  }
  return "sent";
}

}  // namespace

int main(int argc, char** argv) {
  int screenNumber = -1;
  if (argc > 1 && argv[1][0] == '@') {
    screenNumber = std::atoi(argv[1] + 1);
    ++argv;
    --argc;
  }
  if (argc < 2) return 2;
  const std::string cmd = argv[1];
  c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(c)) return 2;
  auto roots = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < screenNumber && roots.rem > 1; ++i) xcb_screen_next(&roots);
  screen = roots.data;
  std::string answer;

  if (cmd == "top") {
    const Top t = Highest();
    answer = t.id == XCB_NONE ? "top none"
                              : "top " + std::to_string(t.id) + " " + std::to_string(t.x) + " " +
                                    std::to_string(t.y) + " " + std::to_string(t.w) + " " +
                                    std::to_string(t.h) + " " + std::to_string(t.override);
  } else if (cmd == "covering") {
    int n = 0;
    ForEachViewable([&](const Top& t) { n += IsSaver(t); });
    answer = "covering " + std::to_string(n);
  } else if (cmd == "lit") {
    answer = Lit();
  } else if (cmd == "cursor") {
    answer = CursorImage();
  } else if (cmd == "grab") {
    answer = GrabBoth();
    xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
    xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
  } else if (cmd == "hold" && argc > 2) {
    const std::string status = GrabBoth();
    if (status != "keyboard success pointer success") {
      answer = status;
    } else {
      std::printf("held\n");
      std::fflush(stdout);
      Sleep(std::atoi(argv[2]));
      xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
      xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
      xcb_flush(c);
      xcb_disconnect(c);
      return 0;
    }
  } else if (cmd == "cover") {
    MapWindow(!(argc > 2 && std::string(argv[2]) == "nofocus"));
    Sleep(1000);
    // A window manager may have framed it: whatever is highest and not the
    // saver counts as the new window.
    answer = IsSaver(Highest()) ? "cover below" : "cover on-top";
  } else if (cmd == "focus" && argc > 2) {
    const xcb_window_t w = MapWindow();
    xcb_set_input_focus(c, XCB_INPUT_FOCUS_POINTER_ROOT, w, XCB_CURRENT_TIME);
    xcb_flush(c);
    std::printf("focused\n");
    std::fflush(stdout);
    Sleep(std::atoi(argv[2]));
    xcb_disconnect(c);
    return 0;
  } else if (cmd == "watch-grabs") {
    answer = WatchGrabs();
  } else if (cmd == "stay") {
    std::printf("staying\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    xcb_disconnect(c);
    return 0;
  } else if (cmd == "attack" && argc > 2) {
    answer = Attack(argv[2]);
  } else if (cmd == "unmap-loop" && argc > 2) {
    const xcb_window_t w = FindSaver().saver;
    answer = "unmapped " + std::to_string(Loop(std::atoi(argv[2]), [&] { xcb_unmap_window(c, w); }));
  } else if (cmd == "raise-loop" && argc > 2) {
    const xcb_window_t w =
        Popup(0, 0, screen->width_in_pixels, screen->height_in_pixels, 0x00FF00);
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    answer = "raised " + std::to_string(Loop(std::atoi(argv[2]), [&] {
               xcb_configure_window(c, w, XCB_CONFIG_WINDOW_STACK_MODE, &above);
             }));
  } else if (cmd == "popups" && argc > 2) {
    // Over the screen, or over the box X Y W H given after MS.
    int x = 0, y = 0, w = screen->width_in_pixels, h = screen->height_in_pixels;
    if (argc > 6) {
      x = std::atoi(argv[3]);
      y = std::atoi(argv[4]);
      w = std::atoi(argv[5]);
      h = std::atoi(argv[6]);
    }
    const xcb_window_t a = Popup(x + w / 8, y + h / 8, w / 3, h / 3, 0x00FF00);
    const xcb_window_t b = Popup(x + w / 2, y + h / 2, w / 3, h / 3, 0x00FF00);
    xcb_flush(c);
    Sleep(std::atoi(argv[2]));
    xcb_destroy_window(c, a);
    xcb_destroy_window(c, b);
    answer = "popped";
  } else if (cmd == "count" && argc > 2) {
    answer = "count " +
             std::to_string(CountPixels(static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 16))));
  } else if (cmd == "keysink") {
    answer = KeySink();
  } else if (cmd == "send-key") {
    answer = SendKey();
  } else if (cmd == "find" && argc > 2) {
    xcb_window_t w = FindNamed(screen->root, argv[2], 0);
    if (w == XCB_NONE && FindSaver().parent != XCB_NONE) w = FindNamed(FindSaver().parent, argv[2], 0);
    if (w != XCB_NONE) answer = std::to_string(w);
  } else if (cmd == "own-selection" || cmd == "own-selection-grab") {
    if (cmd == "own-selection-grab") GrabBoth();
    const xcb_window_t w = xcb_generate_id(c);
    xcb_create_window(c, 0, w, screen->root, -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_set_selection_owner(c, w, Atom("_VIVEDAZIV_SAVER"), XCB_CURRENT_TIME);
    xcb_flush(c);
    std::printf("owning\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    xcb_disconnect(c);
    return 0;
  } else if (cmd == "close" && argc > 2) {
    xcb_client_message_event_t e{};
    e.response_type = XCB_CLIENT_MESSAGE;
    e.format = 32;
    e.window = static_cast<xcb_window_t>(std::strtoul(argv[2], nullptr, 10));
    e.type = Atom("WM_PROTOCOLS");
    e.data.data32[0] = Atom("WM_DELETE_WINDOW");
    e.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(c, 0, e.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&e));
    answer = "sent";
  } else {
    answer = "unknown";
  }
  xcb_flush(c);
  if (!answer.empty()) std::printf("%s\n", answer.c_str());
  xcb_disconnect(c);
  return 0;
}
