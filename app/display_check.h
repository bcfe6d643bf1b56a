#pragma once

#include <string>

#include "command_line.h"

namespace vz {

// True when the toolkit will be able to start in `mode`: either its platform
// needs no display (QT_QPA_PLATFORM names another one than X11, as tests do
// with offscreen), or the X display can be opened (the toolkit is then told
// to use X11 unless QT_QPA_PLATFORM chose), or, for the dialogs of the
// configure and password modes, no X display but a Wayland compositor
// answers at WAYLAND_DISPLAY (the toolkit is then told to use Wayland).
// Otherwise says so in one line on stderr. Cheap enough to run before the
// toolkit loads.
bool DisplayAvailable(Mode mode);

// Why the saver could not run natively on Wayland, for DisplayAvailable to
// say before its own line when X11 fails as well; empty for nothing.
void NoteWaylandProblem(std::string problem);

// A display that goes away while the toolkit starts (the X server ends in
// between) is a fatal error to the toolkit, which would abort with a core
// dump: end with code 1 and one line instead, as when none can be opened.
// Any other fatal toolkit error ends the same way, with its message.
void EndWithCodeOneOnFatalErrors();
// Start-up of the toolkit is over: a fatal error is no longer about the
// display going away while it started.
void ToolkitStarted();

}  // namespace vz
