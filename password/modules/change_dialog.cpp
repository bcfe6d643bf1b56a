#include "change_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "secret_field.h"

namespace vz {

Q_LOGGING_CATEGORY(lcPasswordChange, "vivedaziv.password", QtWarningMsg)

namespace {

// Far beyond any password; a terminal line holds no more than 4095 bytes,
// and cutting a new password short unseen would set one nobody knows.
constexpr std::size_t kMaxAnswerBytes = 1024;

}  // namespace

int ChangeWindowWidth(const QWidget& window) {
  return window.fontMetrics().averageCharWidth() * 48;
}

ChangeDialog::ChangeDialog(QWidget* parent, PasswdConversation& conversation)
    : QDialog(parent), conversation_(conversation) {
  setWindowTitle(kChangeTitle);
  messages_ = new QLabel(this);
  messages_->setTextFormat(Qt::PlainText);
  messages_->setWordWrap(true);
  messages_->hide();
  prompt_ = new QLabel(this);
  prompt_->setTextFormat(Qt::PlainText);
  field_ = new SecretField(this);
  field_->on_submit = [this] { Submit(); };
  prompt_->setBuddy(field_);
  status_ = new QLabel(this);
  status_->setTextFormat(Qt::PlainText);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  cancel_ = buttons->button(QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] { Submit(); });
  connect(buttons, &QDialogButtonBox::rejected, this, &ChangeDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(messages_);
  layout->addWidget(prompt_);
  layout->addWidget(field_);
  layout->addWidget(status_);
  layout->addWidget(buttons);
  setMinimumWidth(ChangeWindowWidth(*this));

  conversation_.on_prompt = [this](const QStringList& lines, const QString& prompt) {
    Ask(lines, prompt);
  };
  conversation_.on_end = [this](const PasswdConversation::End& end) {
    end_ = end;
    answering_ = false;
    field_->Clear();
    done(Accepted);
  };
  // Until passwd asks, there is nothing to answer, but Cancel still works.
  Wait(QStringLiteral("Starting…"));
  answering_ = false;
  cancel_->setEnabled(true);
}

ChangeDialog::~ChangeDialog() {
  conversation_.on_prompt = nullptr;
  conversation_.on_end = nullptr;
  field_->Clear();
}

void ChangeDialog::reject() {
  if (answering_) return;
  conversation_.Stop();
  field_->Clear();
  QDialog::reject();
}

void ChangeDialog::Ask(const QStringList& lines, const QString& prompt) {
  qCDebug(lcPasswordChange).noquote() << "asks:" << lines.join(QLatin1String(" / ")) << "|"
                                      << prompt;
  answering_ = false;
  messages_->setText(lines.join(QLatin1Char('\n')));
  messages_->setVisible(!lines.isEmpty());
  prompt_->setText(prompt);
  status_->clear();
  field_->Clear();
  field_->setReadOnly(false);
  ok_->setEnabled(true);
  cancel_->setEnabled(true);
  field_->setFocus();
}

void ChangeDialog::Submit() {
  if (answering_ || field_->isReadOnly()) return;
  if (field_->Text().Size() > kMaxAnswerBytes) {
    status_->setText(QStringLiteral("Too long: an answer may have at most %1 bytes.")
                         .arg(kMaxAnswerBytes));
    return;
  }
  Wait(QStringLiteral("Checking…"));
  conversation_.Answer(field_->Text());
  field_->Clear();
}

void ChangeDialog::Wait(const QString& status) {
  answering_ = true;
  status_->setText(status);
  field_->setReadOnly(true);
  ok_->setEnabled(false);
  cancel_->setEnabled(false);
}

}  // namespace vz
