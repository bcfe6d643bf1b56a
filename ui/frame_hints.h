#pragma once

class QWidget;

namespace vz {

// Asks the window manager to frame `window` with a caption and a border but
// no minimise or maximise button, and with a close box only when `closeBox`.
// Call before the window is mapped; does nothing off X11.
void SetFrameHints(QWidget& window, bool closeBox);

}  // namespace vz
