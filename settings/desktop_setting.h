#pragma once

namespace vz {

// Whether the user asked for a password before the saver closes: the value
// ScreenSaveUsePassword of the per-user store "Control Panel"/"Desktop"
// ($XDG_CONFIG_HOME/Control Panel/Desktop.conf, top level or [General];
// names in any case). On only for a whole decimal number other than 0;
// missing or anything else reads as off.
bool ScreenSaverPasswordEnabled();

}  // namespace vz
