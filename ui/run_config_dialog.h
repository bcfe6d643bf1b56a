#pragma once

#include <cstdint>

namespace vz {

// Configure mode: loads the thirteen entries into the dialog, shows it
// modally over `parent` (an X11 window, 0 for none; with `useForeground`,
// over the window manager's active window instead) and writes all thirteen
// back, whether the dialog ended with OK or Cancel.
void RunConfigDialog(std::uint32_t parent, bool useForeground);

}  // namespace vz
