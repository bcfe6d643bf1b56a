#pragma once

#include <QByteArray>
#include <QDialog>
#include <QPointer>
#include <QTimer>

class QLabel;

namespace vz {

class PamCheck;
class SecretField;

// The prompt shown over the saver: one silent password field. Enter hands the
// password to the PAM helper program (see PamCheck), so the saver keeps
// drawing and handling input whatever PAM does, and the dialog ends Accepted
// only when PAM accepted it. Escape, closing, a wrong password, a failing
// helper or no key for the idle timeout end it Rejected.
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
  void RetryNativeGrab();

  QByteArray user_;
  bool embedded_;
  QLabel* message_;
  SecretField* field_;
  QTimer idle_;
  QTimer grab_retry_;
  int grab_attempts_ = 0;
  // The widget holding this process's keyboard grab when the prompt showed.
  QPointer<QWidget> previous_grabber_;
  bool forwarding_ = false;
  PamCheck* check_ = nullptr;
};

}  // namespace vz
