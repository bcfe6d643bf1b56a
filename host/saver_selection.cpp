#include "saver_selection.h"

#include <cstdlib>

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

}  // namespace vz
