#pragma once

// Qt headers before X11 ones.
#include <QGuiApplication>
#include <xcb/xcb.h>

namespace vz {

// Qt's own connection to the X server; null when not running on X11.
xcb_connection_t* X11Connection();

}  // namespace vz
