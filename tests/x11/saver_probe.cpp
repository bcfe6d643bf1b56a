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

namespace {

using namespace probe;

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
