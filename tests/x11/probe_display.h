#pragma once
// What the saver probe knows of the display: its connection, the saver's
// windows, what shows on the screen. Commands that act on it are in
// saver_probe.cpp.

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

namespace probe {

inline xcb_connection_t* c = nullptr;
inline xcb_screen_t* screen = nullptr;

void Sleep(int ms);
xcb_atom_t Atom(const char* name);

struct Top {
  xcb_window_t id = XCB_NONE;
  int x = 0, y = 0, w = 0, h = 0;
  bool override = false;
};

struct SaverWindows {
  xcb_window_t cover = XCB_NONE, saver = XCB_NONE, parent = XCB_NONE;
};
// The saver's cover on this screen, as the saver names it on its selection
// owner, and the saver's window: the highest other window beside it.
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
Top Highest();
// The saver: a viewable override-redirect window over the whole screen.
bool IsSaver(const Top& t);
// A plain window over the middle of the screen, mapped and viewable.
// Without `takesFocus` it tells window managers never to focus it.
xcb_window_t MapWindow(bool takesFocus = true);
// XFixes GetCursorImage, sent by hand: the core library is all we link.
std::string CursorImage();
// Pixels of the screen that are not black, or that have `rgb`.
long CountPixels(std::optional<std::uint32_t> rgb);
std::string Lit();
// Viewable, covering the whole screen, unshaped and, with `parent`, the
// highest of its children.
bool InPlace(xcb_window_t w, xcb_window_t parent = XCB_NONE);
xcb_window_t FindNamed(xcb_window_t w, const std::string& name, int depth);
// A window of our own over `x, y, w, h`, mapped.
xcb_window_t Popup(int x, int y, int w, int h, std::uint32_t rgb);

}  // namespace probe
