// MPR.DLL: changes the current user's password through the system's own
// passwd, which alone may rewrite /etc/shadow for an ordinary user (it is
// set-user-ID root; we are not and have no such helper). passwd runs on a
// pseudo-terminal; its questions are asked in a dialog owned by the caller's
// window and its messages shown there or in the closing message.

#include <sys/wait.h>

#include <QGridLayout>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSpacerItem>
#include <cstring>
#include <exception>

#include "../password_routines.h"
#include "change_dialog.h"
#include "module_support.h"
#include "pam_check.h"
#include "passwd_conversation.h"
#include "passwd_program.h"

namespace vz {
namespace {

// What PwdChangePasswordA returns; only 0 means the password changed.
enum ChangeResult : unsigned long {
  kChanged = 0,
  kNotChanged = 1,
  kCancelled = 2,
  kUnavailable = 3,
};

const QString kNotChangedText = QStringLiteral("Your password was not changed.");
const QString kFailedText = QStringLiteral("The password change failed.");

void ShowMessage(const OwnerWindow& owner, QMessageBox::Icon icon, const QString& text) {
  qCDebug(lcPasswordChange).noquote() << "shows:" << QString(text).replace(u'\n', u' ');
  QMessageBox box(icon, kChangeTitle, text, QMessageBox::Ok, owner.Widget());
  box.setTextFormat(Qt::PlainText);
  // A message box sizes itself to its text; a spacer across its grid sets
  // the least width it keeps.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    grid->addItem(new QSpacerItem(ChangeWindowWidth(box), 0, QSizePolicy::Minimum,
                                  QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
  owner.Adopt(&box);
  box.exec();
}

QString WithReason(const QString& headline, const QString& reason) {
  return reason.isEmpty() ? headline : headline + QStringLiteral("\n\n") + reason;
}

// passwd's question for the password the user has now.
bool AsksCurrentPassword(const QString& prompt) {
  static const QRegularExpression current(QStringLiteral("\\b(current|old)\\b"),
                                          QRegularExpression::CaseInsensitiveOption);
  return current.match(prompt).hasMatch();
}

// Why passwd refused, in the system's own words where it gave any. Lines a
// PAM module printed say what was wrong; passwd's own "passwd: …" lines
// only sum up (the headline already says the password stayed). After the
// current password, passwd's summary is a bare "token manipulation" error,
// which means the password was wrong.
QString Reason(const PasswdConversation::End& end) {
  static const QString own_prefix = QStringLiteral("passwd: ");
  QStringList reasons;
  QStringList summary;
  for (const QString& line : end.lines) {
    if (!line.startsWith(own_prefix)) {
      reasons << line;
    } else if (line.compare(QLatin1String("passwd: password unchanged"), Qt::CaseInsensitive) !=
               0) {
      summary << line.mid(own_prefix.size());
    }
  }
  if (!reasons.isEmpty()) return reasons.join(QLatin1Char('\n'));
  if (AsksCurrentPassword(end.last_prompt)) {
    summary.removeAll(QStringLiteral("Authentication token manipulation error"));
    summary.removeAll(QStringLiteral("Authentication failure"));
    if (summary.isEmpty()) return QStringLiteral("The current password is wrong.");
  }
  if (!summary.isEmpty()) return summary.join(QLatin1Char('\n'));
  return QStringLiteral("passwd ended with status %1.").arg(WEXITSTATUS(end.status));
}

// The closing message for how passwd ended. `changed` says whether it
// reported success.
QString Outcome(const PasswdConversation::End& end, int timeout_ms, bool* changed) {
  *changed = false;
  const QString printed = end.lines.join(QLatin1Char('\n'));
  if (end.how == PasswdConversation::End::How::Unanswered) {
    return WithReason(kFailedText,
                      WithReason(QStringLiteral("passwd gave no answer for %1 seconds and was "
                                                "stopped.")
                                     .arg((timeout_ms + 999) / 1000),
                                 printed));
  }
  if (WIFSIGNALED(end.status)) {
    return WithReason(kFailedText,
                      WithReason(QStringLiteral("passwd ended unexpectedly (signal %1).")
                                     .arg(WTERMSIG(end.status)),
                                 printed));
  }
  if (WIFEXITED(end.status) && WEXITSTATUS(end.status) == 0) {
    *changed = true;
    QStringList notes;
    for (const QString& line : end.lines) {
      if (!line.startsWith(QLatin1String("passwd: "))) notes << line;
    }
    return WithReason(QStringLiteral("Your password has been changed."),
                      notes.join(QLatin1Char('\n')));
  }
  return WithReason(kNotChangedText, Reason(end));
}

unsigned long ChangeCurrentUsersPassword(unsigned long parent) {
  ApplicationScope application;
  if (!application.CanShowWidgets()) return kUnavailable;
  OwnerWindow owner(parent);

  const PasswdProgram passwd = FindPasswd();
  if (passwd.state != PasswdProgram::State::Usable) {
    ShowMessage(owner, QMessageBox::Warning,
                WithReason(kNotChangedText,
                           passwd.state == PasswdProgram::State::Missing
                               ? QStringLiteral("The system's password program, passwd, is "
                                                "not installed (looked for in /usr/bin and "
                                                "/bin).")
                               : QStringLiteral("%1 is not set-user-ID root, so it cannot "
                                                "change passwords.")
                                     .arg(QString::fromStdString(passwd.path))));
    return kUnavailable;
  }

  PasswdConversation conversation(PamTimeoutMs());
  if (const int error = conversation.Start(passwd.path.c_str()); error != 0) {
    ShowMessage(owner, QMessageBox::Warning,
                WithReason(kNotChangedText,
                           QStringLiteral("%1 could not be started: %2.")
                               .arg(QString::fromStdString(passwd.path),
                                    QString::fromLocal8Bit(std::strerror(error)))));
    return kUnavailable;
  }
  std::optional<PasswdConversation::End> end;
  {
    ChangeDialog dialog(owner.Widget(), conversation);
    owner.Adopt(&dialog);
    dialog.exec();
    end = dialog.Ending();
  }
  // Whoever pressed Cancel knows the password stayed as it was; and when the
  // program is being ended, passwd goes with it.
  if (!end) {
    conversation.Stop();
    return kCancelled;
  }
  bool changed = false;
  const QString text = Outcome(*end, conversation.TimeoutMs(), &changed);
  ShowMessage(owner, changed ? QMessageBox::Information : QMessageBox::Warning, text);
  return changed ? kChanged : kNotChanged;
}

}  // namespace
}  // namespace vz

unsigned long PwdChangePasswordA(const char* provider, unsigned long parent,
                                 unsigned long /*reserved1*/,
                                 unsigned long /*reserved2*/) {
  if (provider == nullptr || std::strcmp(provider, vz::kChangeProvider) != 0) {
    return 0;
  }
  try {
    return vz::ChangeCurrentUsersPassword(parent);
  } catch (const std::exception&) {
    return vz::kUnavailable;
  }
}
