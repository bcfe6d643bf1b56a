#include "verify_prompt.h"

#include <QCloseEvent>
#include <QColor>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <utility>

#include "../embedded_dialog.h"
#include "caps_lock.h"
#include "module_support.h"
#include "pam_check.h"
#include "secret_field.h"

namespace vz {
namespace {

// Grabbing fails until the window is viewable, which on X11 may be a moment
// after show(); keep trying for about two seconds.
constexpr int kGrabRetryMs = 50;
constexpr int kGrabAttempts = 40;

constexpr char kTitle[] = "Vivedaziv";

// How long a refusal stays on show before the prompt goes.
constexpr int kRefusalMs = 1000;

// The time-left bar: thin, and redrawn often enough to drain smoothly.
constexpr int kTimeLeftHeight = 4;
constexpr int kTimeLeftTickMs = 100;

constexpr char kInstructions[] = "Type your password and press Enter to return to the desktop.";

}  // namespace

VerifyPrompt::VerifyPrompt(QWidget* owner, QByteArray user)
    : QDialog(owner, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                         Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      user_(std::move(user)),
      embedded_(CanEmbedIn(owner)),
      message_(new QLabel(QString::fromUtf8(kInstructions))),
      field_(new SecretField),
      unlock_(new QPushButton(QStringLiteral("Unlock"))),
      capsLock_(new QLabel(QStringLiteral("Caps Lock is on."))),
      timeLeft_(new QProgressBar) {
  setWindowTitle(QString::fromLatin1(kTitle));
  message_->setWordWrap(true);
  auto* user_name = new QLabel(QStringLiteral("User: ") + QString::fromLocal8Bit(user_));
  user_name->setTextFormat(Qt::PlainText);
  // The keyboard stays with the field: the button is for the mouse.
  unlock_->setFocusPolicy(Qt::NoFocus);
  unlock_->setAutoDefault(false);
  // The note keeps its room while hidden, so the prompt never changes size.
  QSizePolicy keep_room = capsLock_->sizePolicy();
  keep_room.setRetainSizeWhenHidden(true);
  capsLock_->setSizePolicy(keep_room);
  capsLock_->hide();
  timeLeft_->setTextVisible(false);
  timeLeft_->setFixedHeight(kTimeLeftHeight);
  const int timeout_ms = PromptTimeoutMs();
  timeLeft_->setRange(0, timeout_ms);
  timeLeft_->setValue(timeout_ms);
  auto* entry = new QHBoxLayout;
  entry->addWidget(field_, 1);
  entry->addWidget(unlock_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(message_);
  layout->addWidget(user_name);
  layout->addLayout(entry);
  layout->addWidget(capsLock_);
  layout->addWidget(timeLeft_);
  if (embedded_) {
    EmbedInWindow(this, owner);
    setMinimumWidth(360);
  }
  // The instructions on one line, unless the saver is too narrow for that.
  int one_line = QFontMetrics(message_->font()).horizontalAdvance(message_->text()) + 1;
  if (embedded_) one_line = std::min(one_line, owner->width() * 9 / 10);
  message_->setMinimumWidth(one_line);
  setFocusProxy(field_);
  WireUp(timeout_ms);
}

// What the prompt answers to: keys and the button, the idle time-out and its
// bar, the pause after a refusal and the retries of the keyboard grab.
void VerifyPrompt::WireUp(int timeoutMs) {
  idle_.setSingleShot(true);
  idle_.setTimerType(Qt::PreciseTimer);
  idle_.setInterval(timeoutMs);
  connect(&idle_, &QTimer::timeout, this, [this] { reject(); });
  timeLeftTick_.setInterval(kTimeLeftTickMs);
  connect(&timeLeftTick_, &QTimer::timeout, this, [this] { ShowTimeLeft(); });
  field_->on_key = [this] {
    if (check_ == nullptr) {
      idle_.start();
      ShowTimeLeft();
    }
  };
  field_->on_submit = [this] { Submit(); };
  connect(unlock_, &QPushButton::clicked, this, [this] { Submit(); });
  // Every key the field sees, forwarded ones included, may change the lock.
  field_->installEventFilter(this);

  refusal_.setSingleShot(true);
  refusal_.setInterval(kRefusalMs);
  connect(&refusal_, &QTimer::timeout, this, [this] { QDialog::reject(); });

  grabRetry_.setInterval(kGrabRetryMs);
  connect(&grabRetry_, &QTimer::timeout, this, [this] { RetryNativeGrab(); });
}

// A helper still checking is killed with its PamCheck, a child of ours.
VerifyPrompt::~VerifyPrompt() { field_->Clear(); }

void VerifyPrompt::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  previousGrabber_ = QWidget::keyboardGrabber();
  if (embedded_) {
    // Keys go to the grabbing widget rather than to the focus; pass the
    // owner's on to the field instead of moving the grab, which Qt would
    // release first.
    if (previousGrabber_ != nullptr) previousGrabber_->installEventFilter(this);
  } else {
    // The field itself grabs: Qt hands grabbed keys to the grabbing widget,
    // not to the focus widget.
    field_->grabKeyboard();
    field_->setFocus(Qt::OtherFocusReason);
    raise();
    activateWindow();
    grabAttempts_ = 0;
    RetryNativeGrab();
  }
  ShowCapsLock(nullptr);
  idle_.start();
  timeLeftTick_.start();
  ShowTimeLeft();
}

bool VerifyPrompt::eventFilter(QObject* watched, QEvent* event) {
  if (watched == field_ &&
      (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
    ShowCapsLock(static_cast<QKeyEvent*>(event));
    return false;
  }
  // A key the field leaves propagates up to the grabber again: pass each on
  // only once.
  if (watched == previousGrabber_ && !forwarding_ &&
      (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
    forwarding_ = true;
    QCoreApplication::sendEvent(field_, event);
    forwarding_ = false;
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void VerifyPrompt::RetryNativeGrab() {
  QWindow* handle = windowHandle();
  const bool grabbed = handle != nullptr && QWidget::keyboardGrabber() == field_ &&
                       handle->setKeyboardGrabEnabled(true);
  // Only X11 refuses a grab for a window not yet mapped; elsewhere a refusal
  // is final (and retrying would only repeat Qt's warning).
  const bool worth_retrying = QGuiApplication::platformName() == QLatin1String("xcb");
  if (grabbed || !worth_retrying || ++grabAttempts_ >= kGrabAttempts) {
    grabRetry_.stop();
  } else if (!grabRetry_.isActive()) {
    grabRetry_.start();
  }
}

void VerifyPrompt::hideEvent(QHideEvent* event) {
  grabRetry_.stop();
  idle_.stop();
  timeLeftTick_.stop();
  if (embedded_) {
    if (previousGrabber_ != nullptr) previousGrabber_->removeEventFilter(this);
  } else {
    if (QWidget::keyboardGrabber() == field_) field_->releaseKeyboard();
    // A refused saver stays up and still needs its grab.
    if (previousGrabber_ != nullptr && previousGrabber_->isVisible()) {
      previousGrabber_->grabKeyboard();
    }
  }
  previousGrabber_ = nullptr;
  QDialog::hideEvent(event);
}

void VerifyPrompt::closeEvent(QCloseEvent* event) {
  // The check ends the dialog soon anyway, one way or the other.
  if (Busy()) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void VerifyPrompt::reject() {
  if (Busy()) return;
  field_->Clear();
  QDialog::reject();
}

void VerifyPrompt::Submit() {
  if (Busy()) return;
  idle_.stop();
  timeLeftTick_.stop();
  field_->setReadOnly(true);
  unlock_->setEnabled(false);
  message_->setText(QStringLiteral("Checking…"));
  check_ = new PamCheck(this, [this](bool accepted) { Finish(accepted); });
  const bool started = check_->Start(PamHelperPath(), user_, field_->Text(), PamTimeoutMs());
  // The helper has its copy; ours is not needed any more.
  field_->Clear();
  if (!started) {
    check_->deleteLater();
    check_ = nullptr;
    ShowRefusal(QStringLiteral("The password could not be checked."));
  }
}

void VerifyPrompt::Finish(bool accepted) {
  // Called from the check's own notifier: let it go once that returns.
  check_->deleteLater();
  check_ = nullptr;
  if (accepted) {
    accept();
  } else {
    ShowRefusal(QStringLiteral("Wrong password."));
  }
}

// The field stays read-only: nothing typed now would be checked.
void VerifyPrompt::ShowRefusal(const QString& text) {
  QPalette palette = message_->palette();
  // In red, to stand out from the instructions.
  palette.setColor(QPalette::WindowText, QColor(0xc0, 0x00, 0x00));
  message_->setPalette(palette);
  message_->setText(text);
  refusal_.start();
}

// Stands still while checking, when no timeout runs.
void VerifyPrompt::ShowTimeLeft() {
  if (idle_.isActive()) timeLeft_->setValue(std::max(0, idle_.remainingTime()));
}

void VerifyPrompt::ShowCapsLock(const QKeyEvent* key) {
  capsLock_->setVisible(CapsLockOn(key, !capsLock_->isHidden()));
}

}  // namespace vz
