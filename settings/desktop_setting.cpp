#include "desktop_setting.h"

#include "settings_store.h"

namespace vz {

bool ScreenSaverPasswordEnabled() {
  // Read afresh at every close, through the same reader as every other
  // setting: names in any case, the file read once, and only a regular file
  // of sane size (never a FIFO or a device, which could block the close).
  const SettingsStore desktop(QStringLiteral("Control Panel"), QStringLiteral("Desktop"));
  const std::optional<QByteArray> text =
      desktop.GetProfileText(QStringLiteral("General"), QStringLiteral("ScreenSaveUsePassword"));
  bool wholeNumber = false;
  const qlonglong number = text ? text->toLongLong(&wholeNumber, 10) : 0;
  return wholeNumber && number != 0;
}

}  // namespace vz
