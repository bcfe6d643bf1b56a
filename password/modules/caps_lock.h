#pragma once

class QKeyEvent;

namespace vz {

// Whether Caps Lock is on. The X server is asked when there is one. Elsewhere
// a typed letter gives it away, its case against the Shift key; a key
// without a letter (or no key) leaves it at `previous`.
bool CapsLockOn(const QKeyEvent* key, bool previous);

}  // namespace vz
