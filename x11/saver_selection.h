#pragma once

#include <xcb/xcb.h>

namespace vz {

// The X selection a running saver owns, so that a second one on the same
// display does nothing.
inline constexpr char kSaverSelection[] = "_VIVEDAZIV_SAVER";

// Whether some client holds the keyboard of the display `root` belongs to.
// A saver that runs holds it; a client that merely owns the selection does
// not, and must not keep the screen from being locked.
bool KeyboardHeld(xcb_connection_t* c, xcb_window_t root);

// The current owner of the saver selection, XCB_NONE when there is none
// (or no such atom yet).
xcb_window_t SaverSelectionOwner(xcb_connection_t* c, xcb_atom_t selection);

// Names, on the owner's window, the window that covers the saver's screen
// (a property of the selection's name).
void NameCover(xcb_connection_t* c, xcb_window_t owner, xcb_atom_t selection, xcb_window_t cover);

// Whether a saver really holds the screen `root`: the selection's owner
// names a window that is viewable, covers the whole screen above every
// top-level window, and someone holds the keyboard. A client that only owns
// the selection, or also holds the keyboard, does not count.
bool SaverHoldsScreen(xcb_connection_t* c, xcb_atom_t selection, xcb_window_t root);

}  // namespace vz
