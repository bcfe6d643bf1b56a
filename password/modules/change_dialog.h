#pragma once

#include <QDialog>
#include <QLoggingCategory>
#include <QString>
#include <QStringList>
#include <optional>

#include "passwd_conversation.h"

class QLabel;
class QPushButton;

namespace vz {

class SecretField;

// Debug messages of the password change ("vivedaziv.password"): every
// question and message shown, never an answer. For tests to read.
Q_DECLARE_LOGGING_CATEGORY(lcPasswordChange)

inline const QString kChangeTitle = QStringLiteral("Change Password");

// Wide enough for the window manager to show the whole title beside its
// buttons, often in a larger bold font, and for passwd's usual questions and
// messages on one line.
int ChangeWindowWidth(const QWidget& window);

// The dialog passwd's questions are asked in: what passwd said since its
// last question, the question, one masked field, OK and Cancel. An answer
// goes to passwd from the field's locked memory; the dialog then says it is
// checking and takes no input until passwd asks again or ends. It ends
// Accepted when passwd has ended (see Ending()), Rejected on Cancel, Escape
// or closing at a question, which kill passwd at once.
class ChangeDialog : public QDialog {
 public:
  ChangeDialog(QWidget* parent, PasswdConversation& conversation);
  ~ChangeDialog() override;

  // How passwd ended; empty when the dialog ended otherwise.
  const std::optional<PasswdConversation::End>& Ending() const { return end_; }

  void reject() override;

 private:
  void Ask(const QStringList& lines, const QString& prompt);
  void Submit();
  void Wait(const QString& status);

  PasswdConversation& conversation_;
  QLabel* messages_;
  QLabel* prompt_;
  SecretField* field_;
  QLabel* status_;
  QPushButton* ok_;
  QPushButton* cancel_;
  // An answer is with passwd: the outcome is not ours to cut short.
  bool answering_ = false;
  std::optional<PasswdConversation::End> end_;
};

}  // namespace vz
