#pragma once

// Qt headers before X11 ones.
#include <QGuiApplication>
#include <xcb/xcb.h>

namespace vz {

// Qt's own connection to the X server; null when not running on X11.
xcb_connection_t* X11Connection();

// The atom named `name`, made when missing unless `onlyIfExists`;
// XCB_ATOM_NONE when there is none or the server does not answer.
xcb_atom_t X11Atom(xcb_connection_t* c, const char* name, bool onlyIfExists = false);

}  // namespace vz
