#include "run_config_dialog.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

#include "config_dlg.h"
#include "program_icon.h"
#include "settings_store.h"
#include "signal_exit.h"
#include "x11_host.h"

namespace vz {

namespace {

// Tells the user, who would otherwise lose the changes unseen, why the save
// failed; true when they want it tried again (having made room, say).
bool AskToRetry(QWidget& dialog, const SettingsStore& store) {
  QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(),
                  QStringLiteral("The settings could not be saved to %1:\n%2.")
                      .arg(store.FilePath(), store.LastError()),
                  QMessageBox::Retry | QMessageBox::Close, &dialog);
  box.setDefaultButton(QMessageBox::Close);
  return box.exec() == QMessageBox::Retry;
}

}  // namespace

void RunConfigDialog(std::uint32_t parent, bool useForeground) {
  QApplication::setWindowIcon(ProgramIcon());
  const std::uint32_t owner = useForeground ? X11ActiveWindow() : parent;
  CConfigDlg dialog(owner);

  SettingsStore store;
  const QString section = QCoreApplication::applicationName();
  dialog.SetFields(ReadEntries(store, section, DefaultColumn::Dialog));
  // The result does not matter: Cancel writes the fields back as well.
  dialog.exec();
  while (!WriteEntries(store, section, dialog.Fields())) {
    std::fprintf(stderr, "vivedaziv: could not save the settings to %s: %s\n",
                 store.FileName().constData(), qPrintable(store.LastError()));
    // Asked to end by a signal: nobody may be there to answer.
    if (ExitSignalCame() || !AskToRetry(dialog, store)) break;
  }
}

}  // namespace vz
