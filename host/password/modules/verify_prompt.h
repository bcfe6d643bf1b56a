#pragma once

#include <QByteArray>
#include <QDialog>
#include <QPointer>
#include <QTimer>

class QLabel;
class QThread;

namespace vz {

class SecretField;

// The modal prompt shown over the saver: one silent password field. Enter
// checks the password with PAM (on a worker thread, so the saver keeps
// drawing through PAM's delay after a wrong password) and the dialog ends
// Accepted only when PAM accepted it. Escape, closing, a wrong password or
// no key for the idle timeout end it Rejected.
//
// The saver holds the keyboard grab on its own window, so the prompt takes
// the grab while shown and hands it back afterwards; otherwise the keys
// would never reach it.
class VerifyPrompt : public QDialog {
 public:
  VerifyPrompt(QWidget* parent, QByteArray user);
  ~VerifyPrompt() override;

  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void Submit();
  void Finish(bool accepted);
  void RetryNativeGrab();

  QByteArray user_;
  QLabel* message_;
  SecretField* field_;
  QTimer idle_;
  QTimer grab_retry_;
  int grab_attempts_ = 0;
  QPointer<QWidget> previous_grabber_;
  QThread* checker_ = nullptr;
  bool checking_ = false;
};

}  // namespace vz
