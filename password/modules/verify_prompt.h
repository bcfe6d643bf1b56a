#pragma once

#include <QByteArray>
#include <QDialog>
#include <QPointer>
#include <QTimer>

class QKeyEvent;
class QLabel;
class QProgressBar;
class QPushButton;

namespace vz {

class PamCheck;
class SecretField;

// The prompt shown over the saver: a line of text, the name of the user
// whose password is asked, one password field that shows a mask character
// per typed character with an "Unlock" button beside it, a note under it
// while Caps Lock is on, and a thin bar that drains as the idle timeout
// runs out. Enter or the button hands the password to the PAM helper
// program (see PamCheck), so the saver keeps drawing and handling input
// whatever PAM does; the text says it is checking meanwhile. The dialog
// ends Accepted only when PAM accepted it. A refusal (a wrong password or a
// failing helper) is shown in the text for about a second before the dialog
// ends Rejected; so do Escape, closing and no key for the idle timeout, at
// once.
//
// Over a window of this process the prompt is drawn inside that window, so
// it is stacked with it, and the input grabs the window holds stay where
// they are: keys reach the prompt through the window's focus. Over a foreign
// window (or none) it is a dialog of its own that takes the keyboard while
// shown.
class VerifyPrompt : public QDialog {
 public:
  VerifyPrompt(QWidget* owner, QByteArray user);
  ~VerifyPrompt() override;

  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Submit();
  void Finish(bool accepted);
  void ShowRefusal(const QString& text);
  void ShowCapsLock(const QKeyEvent* key);
  void WireUp(int timeoutMs);
  void ShowTimeLeft();
  // While checking or showing a refusal: the outcome is settled.
  bool Busy() const { return check_ != nullptr || refusal_.isActive(); }
  void RetryNativeGrab();

  QByteArray user_;
  bool embedded_;
  QLabel* message_;
  SecretField* field_;
  QPushButton* unlock_;
  QLabel* capsLock_;
  QProgressBar* timeLeft_;
  QTimer idle_;
  QTimer timeLeftTick_;
  QTimer refusal_;
  QTimer grabRetry_;
  int grabAttempts_ = 0;
  // The widget holding this process's keyboard grab when the prompt showed.
  QPointer<QWidget> previousGrabber_;
  bool forwarding_ = false;
  PamCheck* check_ = nullptr;
};

}  // namespace vz
