#include "module_directory.h"

#include <QDir>
#include <QFileInfo>
#include <QtGlobal>

namespace vz {
namespace {

QString ExecutableDirectory() {
  // /proc works before (and without) a QCoreApplication.
  const QFileInfo executable(QStringLiteral("/proc/self/exe"));
  return QFileInfo(executable.symLinkTarget()).absolutePath();
}

}  // namespace

QString ModuleDirectory() {
  const QString configured = qEnvironmentVariable("VIVEDAZIV_MODULE_DIR");
  if (!configured.isEmpty()) return configured;
  const QString executable_dir = ExecutableDirectory();
  const QString installed =
      QDir::cleanPath(executable_dir + QStringLiteral("/../lib/vivedaziv"));
  if (QFileInfo(installed).isDir()) return installed;
  return executable_dir;
}

}  // namespace vz
