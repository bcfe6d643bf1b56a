// Where the lock's windows live on each screen, and the black covers.
#include "x11_lock.h"

#include <cstdlib>

#include "lock_windows.h"
#include "saver_selection.h"

namespace vz {

void X11Lock::ChooseParent(Screen& screen, bool compositing) {
  const xcb_window_t parent =
      screen.overlay != XCB_NONE && !compositing ? screen.overlay : screen.root;
  if (parent == screen.parent) return;
  screen.parent = parent;
  WatchRoot(screen);
  if (screen.cover != XCB_NONE) screen.broken = true;
  if (screen.root == saverRoot_ && saver_ != XCB_NONE) {
    xcb_reparent_window(c_, saver_, parent, saverX_, saverY_);
    restore_ = true;
  }
}

void X11Lock::WatchRoot(const Screen& screen) {
  xcb_get_window_attributes_reply_t* a =
      xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, screen.root), nullptr);
  if (!a) return;
  std::uint32_t mask = (a->your_event_mask & ~XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY) |
                       XCB_EVENT_MASK_STRUCTURE_NOTIFY;
  if (screen.parent == screen.root && !deaf_) mask |= XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  std::free(a);
  xcb_change_window_attributes(c_, screen.root, XCB_CW_EVENT_MASK, &mask);
}

void X11Lock::MakeCover(Screen& screen) {
  if (screen.cover != XCB_NONE) xcb_destroy_window(c_, screen.cover);
  screen.cover = XCB_NONE;
  xcb_get_geometry_reply_t* g =
      xcb_get_geometry_reply(c_, xcb_get_geometry(c_, screen.root), nullptr);
  if (!g) return;
  screen.width = g->width;
  screen.height = g->height;
  std::free(g);
  const xcb_screen_t* s = nullptr;
  for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c_)); it.rem; xcb_screen_next(&it)) {
    if (it.data->root == screen.root) s = it.data;
  }
  if (!s) return;
  const xcb_cursor_t cursor = BlankCursor(c_, screen.root);
  const xcb_window_t w = CreateBlackWindow(
      c_, s, screen.parent, screen.width, screen.height,
      XCB_EVENT_MASK_VISIBILITY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY, cursor);
  xcb_free_cursor(c_, cursor);
  WatchShape(c_, w);
  AskNotToComposite(c_, w);
  screen.cover = w;
  screen.broken = false;
  if (screen.root == saverRoot_ && selectionOwner_) NameCover(c_, selectionOwner_, selection_, w);
}

// Adds to the mask Qt selected, never replaces it.
void X11Lock::AddToEventMask(xcb_window_t window, std::uint32_t events) {
  xcb_get_window_attributes_reply_t* a =
      xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, window), nullptr);
  if (!a) return;
  const std::uint32_t mask = a->your_event_mask | events;
  std::free(a);
  xcb_change_window_attributes(c_, window, XCB_CW_EVENT_MASK, &mask);
}

}  // namespace vz
