#pragma once
// Shared by the settings and password tests: the desktop's settings file,
// where the password protection is switched on, under XDG_CONFIG_HOME.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

namespace vz::test {

// Writes the file, or removes it when `contents` is null.
inline void WriteDesktopConfig(const QByteArray& contents) {
  const QString directory =
      qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Control Panel");
  const QString path = directory + QStringLiteral("/Desktop.conf");
  if (contents.isNull()) {
    QFile::remove(path);
    return;
  }
  QDir().mkpath(directory);
  QFile file(path);
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(contents);
}

inline void SetUsePassword(const QByteArray& value) {
  WriteDesktopConfig("[General]\nScreenSaveUsePassword=" + value + "\n");
}

}  // namespace vz::test
