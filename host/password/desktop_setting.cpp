#include "desktop_setting.h"

#include <QSettings>
#include <QVariant>

#include "settings_file.h"
#include "settings_store.h"

namespace vz {

bool ScreenSaverPasswordEnabled() {
  // QSettings would block on a FIFO there, or read /dev/zero for ever: only
  // a regular file of sane size is read, anything else is no setting.
  QByteArray bytes;
  const QString path =
      SettingsStore::FilePathFor(QStringLiteral("Control Panel"), QStringLiteral("Desktop"));
  if (ReadSettingsFile(path, bytes) != FileRead::Read) return false;
  const QSettings desktop(QSettings::NativeFormat, QSettings::UserScope,
                          QStringLiteral("Control Panel"),
                          QStringLiteral("Desktop"));
  const QVariant value = desktop.value(QStringLiteral("ScreenSaveUsePassword"));
  // The file gives text; a list ("1, 2") or a stored variant of another type
  // is not a number. QVariant::toInt is not used: it lets some text outside
  // the int range through.
  if (value.typeId() != QMetaType::QString) return false;
  bool whole_number = false;
  const qlonglong number = value.toString().toLongLong(&whole_number, 10);
  return whole_number && number != 0;
}

}  // namespace vz
