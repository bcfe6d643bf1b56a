#pragma once

#include <functional>

#include <QLineEdit>

#include "secret.h"

class QInputMethodEvent;
class QKeyEvent;
class QMouseEvent;

namespace vz {

// A password field that never lets the typed text into QLineEdit: QLineEdit
// keeps its own copy and an undo history of every keystroke, neither of
// which can be wiped from outside. Printable keys go into a Secret instead;
// Backspace removes the last character, Ctrl+U all of them. Pasting (the
// paste keys, or a middle click for the selection) adds text as typing
// does. QLineEdit only ever holds one mask character per character of the
// Secret, made from its length, so the user sees what was typed without the
// field holding it. Enter calls `on_submit`; other keys (Escape, Tab, …) go
// on to the dialog as usual. While read-only every key is swallowed.
class SecretField : public QLineEdit {
 public:
  explicit SecretField(QWidget* parent = nullptr);

  const Secret& Text() const { return secret_; }
  void Clear();

  // Called for every key that reaches the field, before it is handled.
  std::function<void()> on_key;
  std::function<void()> on_submit;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void Paste(bool selection);
  void ShowMask();

  Secret secret_;
};

}  // namespace vz
