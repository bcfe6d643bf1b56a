#include "verify_prompt.h"

#include <security/pam_appl.h>

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QThread>
#include <QVBoxLayout>
#include <QWindow>
#include <atomic>
#include <utility>

#include "../password_routines.h"
#include "module_support.h"
#include "pam_session.h"
#include "secret_field.h"

namespace vz {
namespace {

// Answers every hidden prompt with the typed password. Anything else asked
// cannot be answered from a single password field.
class TypedPasswordConversation : public PamConversation {
 public:
  explicit TypedPasswordConversation(const Secret& secret) : secret_(secret) {}

  bool Answer(int style, const char*, char** reply) override {
    switch (style) {
      case PAM_PROMPT_ECHO_OFF:
        *reply = secret_.DuplicateForPam();
        return *reply != nullptr;
      case PAM_PROMPT_ECHO_ON:
        return false;
      default:  // PAM_ERROR_MSG, PAM_TEXT_INFO: nobody to show them to.
        return true;
    }
  }

 private:
  const Secret& secret_;
};

bool PamAccepts(const QByteArray& user, const Secret& secret) {
  TypedPasswordConversation conversation(secret);
  PamSession session(kPamService, user.constData(), conversation);
  if (session.Authenticate() != PAM_SUCCESS) return false;
  const int account = session.CheckAccount();
  // An expired password still proves who is at the keyboard; the saver is not
  // the place to force the change, and refusing would lock the user out.
  return account == PAM_SUCCESS || account == PAM_NEW_AUTHTOK_REQD;
}

// Grabbing fails until the window is viewable, which on X11 may be a moment
// after show(); keep trying for about two seconds.
constexpr int kGrabRetryMs = 50;
constexpr int kGrabAttempts = 40;

}  // namespace

VerifyPrompt::VerifyPrompt(QWidget* parent, QByteArray user)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint |
                          Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      user_(std::move(user)),
      message_(new QLabel(this)),
      field_(new SecretField(this)) {
  setWindowTitle(QStringLiteral("Vivedaziv"));
  message_->setText(QStringLiteral(
      "Type your password and press Enter to return to the desktop."));
  message_->setWordWrap(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(message_);
  layout->addWidget(field_);
  setFocusProxy(field_);

  idle_.setSingleShot(true);
  idle_.setTimerType(Qt::PreciseTimer);
  idle_.setInterval(PromptTimeoutMs());
  connect(&idle_, &QTimer::timeout, this, [this] { reject(); });
  field_->on_key = [this] {
    if (!checking_) idle_.start();
  };
  field_->on_submit = [this] { Submit(); };

  grab_retry_.setInterval(kGrabRetryMs);
  connect(&grab_retry_, &QTimer::timeout, this, [this] { RetryNativeGrab(); });
}

VerifyPrompt::~VerifyPrompt() {
  if (checker_ != nullptr) {
    checker_->wait();
    delete checker_;
  }
  field_->Clear();
}

void VerifyPrompt::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  previous_grabber_ = QWidget::keyboardGrabber();
  // The field itself grabs: Qt hands grabbed keys to the grabbing widget,
  // not to the focus widget.
  field_->grabKeyboard();
  field_->setFocus(Qt::OtherFocusReason);
  raise();
  activateWindow();
  grab_attempts_ = 0;
  RetryNativeGrab();
  idle_.start();
}

void VerifyPrompt::RetryNativeGrab() {
  QWindow* handle = windowHandle();
  const bool grabbed =
      handle != nullptr && QWidget::keyboardGrabber() == field_ &&
      handle->setKeyboardGrabEnabled(true);
  // Only X11 refuses a grab for a window not yet mapped; elsewhere a refusal
  // is final (and retrying would only repeat Qt's warning).
  const bool worth_retrying =
      QGuiApplication::platformName() == QLatin1String("xcb");
  if (grabbed || !worth_retrying || ++grab_attempts_ >= kGrabAttempts) {
    grab_retry_.stop();
  } else if (!grab_retry_.isActive()) {
    grab_retry_.start();
  }
}

void VerifyPrompt::hideEvent(QHideEvent* event) {
  grab_retry_.stop();
  idle_.stop();
  if (QWidget::keyboardGrabber() == field_) field_->releaseKeyboard();
  // A refused saver stays up and still needs its grab.
  if (previous_grabber_ != nullptr && previous_grabber_->isVisible()) {
    previous_grabber_->grabKeyboard();
  }
  previous_grabber_ = nullptr;
  QDialog::hideEvent(event);
}

void VerifyPrompt::closeEvent(QCloseEvent* event) {
  // PAM cannot be interrupted; the check ends the dialog soon anyway.
  if (checking_) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void VerifyPrompt::reject() {
  if (checking_) return;
  field_->Clear();
  QDialog::reject();
}

void VerifyPrompt::Submit() {
  if (checking_) return;
  checking_ = true;
  idle_.stop();
  field_->setReadOnly(true);
  message_->setText(QStringLiteral("Checking…"));

  auto accepted = std::make_shared<std::atomic<bool>>(false);
  checker_ = QThread::create([this, accepted] {
    accepted->store(PamAccepts(user_, field_->Text()));
  });
  connect(checker_, &QThread::finished, this,
          [this, accepted] { Finish(accepted->load()); });
  checker_->start();
}

void VerifyPrompt::Finish(bool accepted) {
  checker_->wait();
  delete checker_;
  checker_ = nullptr;
  checking_ = false;
  field_->Clear();
  if (accepted) {
    accept();
  } else {
    QDialog::reject();
  }
}

}  // namespace vz
