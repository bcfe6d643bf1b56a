#include "saver_selection.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace vz {

bool KeyboardHeld(xcb_connection_t* c, xcb_window_t root) {
  xcb_grab_keyboard_reply_t* r = xcb_grab_keyboard_reply(
      c,
      xcb_grab_keyboard(c, 0, root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
      nullptr);
  const bool free = r && r->status == XCB_GRAB_STATUS_SUCCESS;
  std::free(r);
  if (free) xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
  return !free;
}

xcb_window_t SaverSelectionOwner(xcb_connection_t* c, xcb_atom_t selection) {
  if (selection == XCB_NONE) return XCB_NONE;
  xcb_get_selection_owner_reply_t* r =
      xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
  const xcb_window_t owner = r ? r->owner : xcb_window_t{XCB_NONE};
  std::free(r);
  return owner;
}

void NameCover(xcb_connection_t* c, xcb_window_t owner, xcb_atom_t selection, xcb_window_t cover) {
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, owner, selection, XCB_ATOM_WINDOW, 32, 1, &cover);
}

namespace {

xcb_window_t NamedCover(xcb_connection_t* c, xcb_window_t owner, xcb_atom_t selection) {
  auto* p = xcb_get_property_reply(
      c, xcb_get_property(c, 0, owner, selection, XCB_ATOM_WINDOW, 0, 1), nullptr);
  xcb_window_t cover = XCB_NONE;
  if (p && p->format == 32 && xcb_get_property_value_length(p) == sizeof cover) {
    std::memcpy(&cover, xcb_get_property_value(p), sizeof cover);
  }
  std::free(p);
  return cover;
}

// Whether no viewable window of another client lies above `window` among
// its siblings: a client's windows share the upper bits of their ids.
bool OnTop(xcb_connection_t* c, xcb_window_t window, xcb_window_t parent) {
  const std::uint32_t others = ~xcb_get_setup(c)->resource_id_mask;
  auto* t = xcb_query_tree_reply(c, xcb_query_tree(c, parent), nullptr);
  if (!t) return false;
  const xcb_window_t* kids = xcb_query_tree_children(t);
  const int n = xcb_query_tree_children_length(t);
  int at = n;
  for (int i = 0; i < n; ++i) {
    if (kids[i] == window) at = i;
  }
  std::vector<xcb_get_window_attributes_cookie_t> above;
  for (int i = at + 1; i < n; ++i) {
    if ((kids[i] & others) != (window & others)) above.push_back(xcb_get_window_attributes(c, kids[i]));
  }
  bool onTop = at < n;
  for (const auto& cookie : above) {
    auto* a = xcb_get_window_attributes_reply(c, cookie, nullptr);
    if (a && a->map_state == XCB_MAP_STATE_VIEWABLE && a->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT) {
      onTop = false;
    }
    std::free(a);
  }
  std::free(t);
  return onTop;
}

// Viewable, over the whole of `root`, and on top: among the root's children,
// or inside the overlay (whose parent is the root, though the root does not
// list it).
bool CoversScreen(xcb_connection_t* c, xcb_window_t window, xcb_window_t root) {
  auto* a = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
  auto* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
  auto* r = xcb_get_geometry_reply(c, xcb_get_geometry(c, root), nullptr);
  auto* t = xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr);
  auto* at = xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, window, root, 0, 0),
                                             nullptr);
  bool covers = a && g && r && t && at && a->map_state == XCB_MAP_STATE_VIEWABLE &&
                at->dst_x <= 0 && at->dst_y <= 0 && at->dst_x + g->width >= r->width &&
                at->dst_y + g->height >= r->height && OnTop(c, window, t->parent);
  if (covers && t->parent != root) {
    auto* pt = xcb_query_tree_reply(c, xcb_query_tree(c, t->parent), nullptr);
    covers = pt && pt->parent == root;
    std::free(pt);
  }
  std::free(a);
  std::free(g);
  std::free(r);
  std::free(t);
  std::free(at);
  return covers;
}

}  // namespace

bool SaverHoldsScreen(xcb_connection_t* c, xcb_atom_t selection, xcb_window_t root) {
  const xcb_window_t owner = SaverSelectionOwner(c, selection);
  if (owner == XCB_NONE) return false;
  const xcb_window_t cover = NamedCover(c, owner, selection);
  return cover != XCB_NONE && CoversScreen(c, cover, root) && KeyboardHeld(c, root);
}

}  // namespace vz
