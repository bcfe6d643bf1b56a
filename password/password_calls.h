#pragma once

namespace vz {

// The close decision of the saver window. `window` is the saver's X11 window
// id. Returns true when the saver may close now, false when the user was
// refused and the saver stays. Sets `verifying` while the password prompt is
// up, and leaves it set when the password was accepted (the window is about
// to close); clears it again on refusal.
bool CheckPasswordBeforeClose(unsigned long window, bool& verifying);

// Runs the password change of MPR.DLL for the saver's provider, with dialogs
// owned by the X11 window `parent` (0: none). Quietly does nothing when the
// module or its routine is missing.
void ChangePassword(unsigned long parent);

}  // namespace vz
