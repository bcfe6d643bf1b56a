// The lock's watch: the check every second, the stacking, and raising.
#include "x11_lock.h"

#include <cstdlib>
#include <optional>
#include <vector>

#include "lock_windows.h"

namespace vz {

namespace {

// Raising again at once when obscured could fight another always-above
// window without end; this bounds it.
constexpr int kRaiseIntervalMs = 20;
// More changes of other windows than this in a second is a client
// restacking in a loop: its events would cost more than raising against it
// wins, so they are not listened to until the next check.
constexpr int kOtherChangesPerSecond = 200;

// What the server says of a window, asked for without waiting so that the
// answers for every window come back together.
struct WindowQuery {
  xcb_get_window_attributes_cookie_t attributes;
  xcb_query_tree_cookie_t tree;
  xcb_get_geometry_cookie_t geometry;
  std::optional<xcb_shape_query_extents_cookie_t> shape;
};

struct WindowState {
  bool viewable = false;
  xcb_window_t parent = XCB_NONE;  // none when the window is gone
  int x = 0, y = 0, width = 0, height = 0;
  bool shaped = false;
};

WindowQuery SendWindowQuery(xcb_connection_t* c, xcb_window_t window) {
  return {xcb_get_window_attributes(c, window), xcb_query_tree(c, window),
          xcb_get_geometry(c, window), AskShape(c, window)};
}

WindowState ReadWindowState(xcb_connection_t* c, const WindowQuery& q) {
  auto* a = xcb_get_window_attributes_reply(c, q.attributes, nullptr);
  auto* t = xcb_query_tree_reply(c, q.tree, nullptr);
  auto* g = xcb_get_geometry_reply(c, q.geometry, nullptr);
  WindowState state;
  state.viewable = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
  state.parent = t ? t->parent : xcb_window_t{XCB_NONE};
  if (g) state = {state.viewable, state.parent, g->x, g->y, g->width, g->height};
  state.shaped = IsShaped(c, q.shape);
  std::free(a);
  std::free(t);
  std::free(g);
  return state;
}

}  // namespace

void X11Lock::Check() {
  if (!holding_ || repairing_) return;
  // Every question first, then every answer: one wait for all of them.
  const std::optional<GrabProbe> probe = AskWhetherGrabsAreOpen();
  std::optional<WindowQuery> saverQuery;
  if (saver_ != XCB_NONE) saverQuery = SendWindowQuery(c_, saver_);
  std::vector<std::optional<WindowQuery>> coverQueries;
  std::vector<xcb_get_selection_owner_cookie_t> compositors;
  for (const Screen& screen : screens_) {
    coverQueries.push_back(screen.cover != XCB_NONE
                               ? std::optional(SendWindowQuery(c_, screen.cover))
                               : std::nullopt);
    compositors.push_back(xcb_get_selection_owner(c_, screen.compositor));
  }
  xcb_flush(c_);

  bool broken = false;
  if (saverQuery) {
    const WindowState state = ReadWindowState(c_, *saverQuery);
    const Screen* screen = ScreenOfRoot(saverRoot_);
    // Gone or somewhere else, it is made anew; unmapped, mapped again.
    if (!screen || state.parent != screen->parent) saver_ = XCB_NONE;
    if (state.shaped) ResetShape(c_, saver_);
    restore_ = restore_ || !state.viewable;
    broken = broken || saver_ == XCB_NONE || !state.viewable;
  }
  for (std::size_t i = 0; i < screens_.size(); ++i) {
    Screen& screen = screens_[i];
    auto* owner = xcb_get_selection_owner_reply(c_, compositors[i], nullptr);
    const bool compositing = owner && owner->owner != XCB_NONE;
    std::free(owner);
    if (!coverQueries[i]) {
      ChooseParent(screen, compositing);
      continue;
    }
    const WindowState state = ReadWindowState(c_, *coverQueries[i]);
    if (state.shaped) ResetShape(c_, screen.cover);
    if (!state.viewable || state.parent != screen.parent || state.x != 0 || state.y != 0 ||
        state.width != screen.width || state.height != screen.height) {
      screen.broken = true;
    }
    ChooseParent(screen, compositing);
    broken = broken || screen.broken || restore_;
  }
  if (probe && GrabsWereOpen(*probe)) {
    keyboard_ = pointer_ = false;
    broken = true;
  }
  if (deaf_) {
    deaf_ = false;
    for (const Screen& screen : screens_) WatchRoot(screen);
  }
  // Qt's idea of where the saver belongs, against where it is.
  if (callbacks_.restore && saver_ != XCB_NONE) callbacks_.restore();
  if (broken) {
    Repair();
  } else {
    Raise();
  }
}

// Restacked, by someone else maybe: visibility is not told under a
// compositing manager, so the stacking is asked for. Our own raises end here
// too, and find everything in order.
void X11Lock::CheckStacking() {
  if (!holding_) return;
  std::vector<xcb_query_tree_cookie_t> trees;
  for (const Screen& screen : screens_) trees.push_back(xcb_query_tree(c_, screen.parent));
  bool inOrder = true;
  for (std::size_t i = 0; i < screens_.size(); ++i) {
    auto* t = xcb_query_tree_reply(c_, trees[i], nullptr);
    const int n = t ? xcb_query_tree_children_length(t) : 0;
    const xcb_window_t* kids = t ? xcb_query_tree_children(t) : nullptr;
    const Screen& screen = screens_[i];
    const bool saverHere = screen.root == saverRoot_ && saver_ != XCB_NONE;
    if (saverHere) {
      inOrder = inOrder && n > 0 && kids[n - 1] == saver_ &&
                (screen.cover == XCB_NONE || (n > 1 && kids[n - 2] == screen.cover));
    } else if (screen.cover != XCB_NONE) {
      inOrder = inOrder && n > 0 && kids[n - 1] == screen.cover;
    }
    std::free(t);
  }
  if (!inOrder) RaiseSoon();
}

void X11Lock::OtherWindowChanged() {
  if (!sinceChanges_.isValid() || sinceChanges_.elapsed() >= 1000) {
    sinceChanges_.start();
    changes_ = 0;
  }
  if (++changes_ == kOtherChangesPerSecond) {
    deaf_ = true;
    for (const Screen& screen : screens_) WatchRoot(screen);
  }
  RaiseSoon();
}

void X11Lock::RaiseSoon() {
  if (!sinceRaise_.isValid() || sinceRaise_.elapsed() >= kRaiseIntervalMs) {
    Raise();
  } else if (!raiseLater_.isActive()) {
    raiseLater_.start(kRaiseIntervalMs - static_cast<int>(sinceRaise_.elapsed()));
  }
}

void X11Lock::Raise() {
  if (!holding_ || (callbacks_.mayRaise && !callbacks_.mayRaise())) return;
  const std::uint32_t above = XCB_STACK_MODE_ABOVE;
  if (saver_ != XCB_NONE) xcb_configure_window(c_, saver_, XCB_CONFIG_WINDOW_STACK_MODE, &above);
  // Each cover right below the saver on its screen, never above it: that
  // would expose, and so restart, the animation.
  for (const Screen& screen : screens_) {
    if (screen.cover == XCB_NONE) continue;
    if (screen.root == saverRoot_ && saver_ != XCB_NONE) {
      const std::uint32_t below[] = {saver_, XCB_STACK_MODE_BELOW};
      xcb_configure_window(c_, screen.cover,
                           XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE, below);
    } else {
      xcb_configure_window(c_, screen.cover, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    }
  }
  xcb_flush(c_);
  sinceRaise_.start();
}

}  // namespace vz
