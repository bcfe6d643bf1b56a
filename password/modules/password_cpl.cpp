// PASSWORD.CPL: asks for the current user's password over the saver window.

#include <exception>

#include "../embedded_dialog.h"
#include "../password_routines.h"
#include "module_support.h"
#include "verify_prompt.h"

int VerifyScreenSavePwd(unsigned long window) {
  try {
    vz::ApplicationScope application;
    if (!application.CanShowWidgets()) return 0;
    const QByteArray user = vz::CurrentUserName();
    if (user.isEmpty()) return 0;
    vz::OwnerWindow owner(window);
    vz::VerifyPrompt prompt(owner.Widget(), user);
    owner.Adopt(&prompt);
    return vz::ExecDialog(&prompt) == QDialog::Accepted ? 1 : 0;
  } catch (const std::exception&) {
    // Nothing may unwind into the C caller; a failure keeps the saver up.
    return 0;
  }
}
