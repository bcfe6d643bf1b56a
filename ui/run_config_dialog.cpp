#include "run_config_dialog.h"

#include <QApplication>
#include <cstdio>

#include "config_dlg.h"
#include "program_icon.h"
#include "settings_store.h"
#include "x11_host.h"

namespace vz {

void RunConfigDialog(std::uint32_t parent, bool useForeground) {
  QApplication::setWindowIcon(ProgramIcon());
  const std::uint32_t owner = useForeground ? X11ActiveWindow() : parent;
  CConfigDlg dialog(owner);

  SettingsStore store;
  const QString section = QCoreApplication::applicationName();
  dialog.SetFields(ReadEntries(store, section, DefaultColumn::Dialog));
  // The result does not matter: Cancel writes the fields back as well.
  dialog.exec();
  if (!WriteEntries(store, section, dialog.Fields())) {
    std::fprintf(stderr, "vivedaziv: could not save the settings to %s: %s\n",
                 store.FileName().constData(), qPrintable(store.LastError()));
  }
}

}  // namespace vz
