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

}  // namespace vz
