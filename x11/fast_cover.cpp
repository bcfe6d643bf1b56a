#include "fast_cover.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

#include "lock_windows.h"
#include "saver_selection.h"

namespace vz {

std::unique_ptr<FastCover> FastCover::Show() {
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(c)) {
    xcb_disconnect(c);
    return nullptr;
  }
  // A running saver covers the screens already; a second one does nothing.
  // Only an atom that exists can have an owner.
  xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 1, std::strlen(kSaverSelection), kSaverSelection), nullptr);
  const xcb_atom_t selection = atom ? atom->atom : xcb_atom_t{XCB_NONE};
  std::free(atom);
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  if (selection != XCB_NONE && SaverHoldsScreen(c, selection, root)) {
    xcb_disconnect(c);
    return nullptr;
  }
  for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem; xcb_screen_next(&it)) {
    const xcb_screen_t* screen = it.data;
    // In the overlay, where nothing fades in or stacks above.
    const xcb_window_t overlay = HoldOverlay(c, screen->root);
    xcb_map_window(c, CreateBlackWindow(c, screen, overlay != XCB_NONE ? overlay : screen->root,
                                        screen->width_in_pixels, screen->height_in_pixels));
  }
  xcb_flush(c);
  return std::unique_ptr<FastCover>(new FastCover(c));
}

// Closing the connection destroys its windows.
FastCover::~FastCover() { xcb_disconnect(c_); }

}  // namespace vz
