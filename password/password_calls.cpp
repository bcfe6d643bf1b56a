#include "password_calls.h"

#include <QFile>
#include <QMessageBox>
#include <cstdio>

#include "desktop_setting.h"
#include "embedded_dialog.h"
#include "loaded_module.h"
#include "password_routines.h"

namespace vz {
namespace {

// Whoever turned protection on must be able to find out why it did not hold.
void ReportMissingVerifyModule(const LoadedModule& module) {
  QString reason = module.Error();
  // The loader's message starts with the path, which is printed anyway.
  const QString prefix = module.Path() + QStringLiteral(": ");
  if (reason.startsWith(prefix)) reason.remove(0, prefix.size());
  if (reason.isEmpty()) reason = QStringLiteral("cannot be loaded");
  std::fprintf(stderr,
               "vivedaziv: password protection is on, but the password module %s could "
               "not be loaded (%s): closing without asking\n",
               QFile::encodeName(module.Path()).constData(), reason.toLocal8Bit().constData());
}

}  // namespace

bool CheckPasswordBeforeClose(unsigned long window, bool& verifying) {
  if (!ScreenSaverPasswordEnabled()) return true;

  LoadedModule module = LoadedModule::FromModuleDirectory(kVerifyModuleFile);
  if (!module.IsLoaded()) {
    ReportMissingVerifyModule(module);
    return true;
  }
  // The module's widgets and timers may outlive the call by a moment (queued
  // deletions, Qt's caches); unloading its code under them is not worth it.
  module.Keep();

  const auto verify = module.Find<VerifyScreenSavePwdRoutine>(kVerifyRoutineName);
  if (verify == nullptr) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Error"),
                    QStringLiteral("Couldn't get pword verify routine"),
                    QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    // Over our own saver the box must show inside it; anywhere else it has
    // no owner.
    QWidget* saver = QWidget::find(static_cast<WId>(window));
    if (CanEmbedIn(saver)) EmbedInWindow(&box, saver);
    ExecDialog(&box);
    return true;
  }

  verifying = true;
  if (verify(window) != 0) return true;
  verifying = false;
  return false;
}

void ChangePassword(unsigned long parent) {
  LoadedModule module = LoadedModule::FromModuleDirectory(kChangeModuleFile);
  const auto change = module.Find<PwdChangePasswordARoutine>(kChangeRoutineName);
  if (change == nullptr) return;
  change(kChangeProvider, parent, 0, 0);
}

}  // namespace vz
