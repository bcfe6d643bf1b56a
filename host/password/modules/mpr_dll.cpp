// MPR.DLL: changes the current user's password through PAM, asking PAM's own
// questions in small dialogs owned by the caller's window.

#include <security/pam_appl.h>

#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpacerItem>
#include <QVBoxLayout>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "../password_routines.h"
#include "module_support.h"
#include "pam_session.h"
#include "secret.h"
#include "secret_field.h"

namespace vz {
namespace {

const QString kTitle = QStringLiteral("Change Password");

// Wide enough for the window manager to show the whole title beside its
// buttons, often in a larger bold font, and for PAM's usual questions and
// messages on one line.
int WindowWidth(const QWidget& window) {
  return window.fontMetrics().averageCharWidth() * 48;
}

QString FromPam(const char* text) {
  return text != nullptr ? QString::fromLocal8Bit(text).trimmed() : QString();
}

void ShowMessage(const OwnerWindow& owner, QMessageBox::Icon icon,
                 const QString& text) {
  QMessageBox box(icon, kTitle, text, QMessageBox::Ok, owner.Widget());
  box.setTextFormat(Qt::PlainText);
  // A message box sizes itself to its text; a spacer across its grid sets
  // the least width it keeps.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    grid->addItem(new QSpacerItem(WindowWidth(box), 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
  owner.Adopt(&box);
  box.exec();
}

// One question from PAM: its prompt text over one field, OK and Cancel.
// Hidden prompts use a SecretField so the answer can be wiped.
class QuestionDialog : public QDialog {
 public:
  QuestionDialog(QWidget* parent, const QString& prompt, bool hidden)
      : QDialog(parent) {
    setWindowTitle(kTitle);
    auto* label = new QLabel(prompt, this);
    label->setTextFormat(Qt::PlainText);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    if (hidden) {
      secret_field_ = new SecretField(this);
      secret_field_->on_submit = [this] { accept(); };
      layout->addWidget(secret_field_);
      label->setBuddy(secret_field_);
    } else {
      plain_field_ = new QLineEdit(this);
      layout->addWidget(plain_field_);
      label->setBuddy(plain_field_);
    }
    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(WindowWidth(*this));
  }

  ~QuestionDialog() override {
    if (secret_field_ != nullptr) secret_field_->Clear();
  }

  // A malloc'ed copy of the answer for PAM; nullptr when out of memory.
  char* TakeAnswer() {
    if (secret_field_ != nullptr) {
      char* answer = secret_field_->Text().DuplicateForPam();
      secret_field_->Clear();
      return answer;
    }
    QByteArray text = plain_field_->text().toLocal8Bit();
    char* answer = strdup(text.constData());
    Wipe(text);
    return answer;
  }

 private:
  SecretField* secret_field_ = nullptr;
  QLineEdit* plain_field_ = nullptr;
};

class ChangeConversation : public PamConversation {
 public:
  explicit ChangeConversation(const OwnerWindow& owner) : owner_(owner) {}

  bool Cancelled() const { return cancelled_; }

  bool Answer(int style, const char* text, char** reply) override {
    switch (style) {
      case PAM_PROMPT_ECHO_OFF:
      case PAM_PROMPT_ECHO_ON: {
        QuestionDialog dialog(owner_.Widget(), FromPam(text),
                              style == PAM_PROMPT_ECHO_OFF);
        owner_.Adopt(&dialog);
        if (dialog.exec() != QDialog::Accepted) {
          cancelled_ = true;
          return false;
        }
        *reply = dialog.TakeAnswer();
        return *reply != nullptr;
      }
      case PAM_ERROR_MSG:
        ShowMessage(owner_, QMessageBox::Warning, FromPam(text));
        return true;
      case PAM_TEXT_INFO:
        ShowMessage(owner_, QMessageBox::Information, FromPam(text));
        return true;
      default:
        return false;
    }
  }

 private:
  const OwnerWindow& owner_;
  bool cancelled_ = false;
};

unsigned long ChangeCurrentUsersPassword(unsigned long parent) {
  ApplicationScope application;
  if (!application.CanShowWidgets()) return PAM_CONV_ERR;
  const QByteArray user = CurrentUserName();
  if (user.isEmpty()) return PAM_USER_UNKNOWN;

  OwnerWindow owner(parent);
  ChangeConversation conversation(owner);
  PamSession session(kPamService, user.constData(), conversation);
  const int result = session.ChangeAuthToken();
  if (result == PAM_SUCCESS) {
    ShowMessage(owner, QMessageBox::Information,
                QStringLiteral("Your password has been changed."));
    return 0;
  }
  // Whoever pressed Cancel knows the password stayed as it was.
  if (!conversation.Cancelled()) {
    ShowMessage(owner, QMessageBox::Warning,
                QStringLiteral("Your password was not changed.\n\n%1")
                    .arg(QString::fromLocal8Bit(session.ErrorText(result).c_str())));
  }
  return static_cast<unsigned long>(result);
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
    return PAM_SYSTEM_ERR;
  }
}
