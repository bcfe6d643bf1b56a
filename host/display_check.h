#pragma once

#include "command_line.h"

namespace vz {

// True when the toolkit will be able to start in `mode`: either its platform
// needs no display (QT_QPA_PLATFORM names another one than X11, as tests do
// with offscreen), or the X display can be opened, or, for the dialogs of
// the configure and password modes, a Wayland compositor answers at
// WAYLAND_DISPLAY (the toolkit is then told to use it). Otherwise says so in
// one line on stderr. Cheap enough to run before the toolkit loads.
bool DisplayAvailable(Mode mode);

}  // namespace vz
