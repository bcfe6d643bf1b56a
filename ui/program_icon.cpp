#include "program_icon.h"

// A resource compiled into a static library must be registered by hand,
// from the global namespace.
static void InitIconResources() {
  static bool done = false;
  if (done) return;
  Q_INIT_RESOURCE(icons);
  done = true;
}

namespace vz {

QIcon ProgramIcon() {
  InitIconResources();
  QIcon icon;
  icon.addFile(QStringLiteral(":/vivedaziv/icon128-32.xpm"), QSize(32, 32));
  icon.addFile(QStringLiteral(":/vivedaziv/icon128-16.xpm"), QSize(16, 16));
  return icon;
}

}  // namespace vz
