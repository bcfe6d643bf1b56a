#pragma once

namespace vz {

// True when the toolkit will be able to start: either its platform needs no
// display (QT_QPA_PLATFORM names another one than X11, as tests do with
// offscreen), or the X display can be opened. Otherwise says so in one line
// on stderr. Cheap enough to run before the toolkit loads.
bool DisplayAvailable();

}  // namespace vz
