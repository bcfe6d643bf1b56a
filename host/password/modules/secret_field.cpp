#include "secret_field.h"

#include <QInputMethodEvent>
#include <QKeyEvent>

namespace vz {
namespace {

bool IsTypedText(const QKeyEvent& event) {
  if (event.modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) {
    return false;
  }
  const QString text = event.text();
  if (text.isEmpty()) return false;
  for (QChar c : text) {
    if (c.category() == QChar::Other_Control) return false;
  }
  return true;
}

}  // namespace

SecretField::SecretField(QWidget* parent) : QLineEdit(parent) {
  setEchoMode(QLineEdit::NoEcho);
  // Plain key events only: an input method would hand over composed text
  // that bypasses keyPressEvent and lives on in the method's own buffers.
  setAttribute(Qt::WA_InputMethodEnabled, false);
  setContextMenuPolicy(Qt::NoContextMenu);
  setAcceptDrops(false);
  setDragEnabled(false);
}

void SecretField::keyPressEvent(QKeyEvent* event) {
  // Read-only while the password is being checked: swallow everything,
  // Escape included, so nothing changes under the check.
  if (isReadOnly()) {
    event->accept();
    return;
  }
  if (on_key) on_key();
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      event->accept();
      if (on_submit) on_submit();
      return;
    case Qt::Key_Backspace:
      event->accept();
      secret_.RemoveLast();
      return;
    default:
      break;
  }
  if (!IsTypedText(*event)) {
    event->ignore();
    return;
  }
  event->accept();
  secret_.Append(event->text());
  // The event's own text is the character just typed; scrub it too. It is
  // shared with the copy returned by text(), so wiping that wipes both.
  QString delivered = event->text();
  Wipe(delivered);
}

void SecretField::inputMethodEvent(QInputMethodEvent* event) {
  event->ignore();
}

}  // namespace vz
