#include "secret_field.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>

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
  setEchoMode(QLineEdit::Password);
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
      ShowMask();
      return;
    default:
      break;
  }
  // Ctrl+U clears the line, as in terminals.
  if (event->key() == Qt::Key_U &&
      (event->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier) {
    event->accept();
    Clear();
    return;
  }
  if (event->matches(QKeySequence::Paste)) {
    event->accept();
    Paste(false);
    return;
  }
  if (!IsTypedText(*event)) {
    event->ignore();
    return;
  }
  event->accept();
  secret_.Append(event->text());
  ShowMask();
  // The event's own text is the character just typed; scrub it too. It is
  // shared with the copy returned by text(), so wiping that wipes both.
  QString delivered = event->text();
  Wipe(delivered);
}

void SecretField::inputMethodEvent(QInputMethodEvent* event) {
  event->ignore();
}

void SecretField::Paste(bool selection) {
  const QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) return;
  if (selection && !clipboard->supportsSelection()) return;
  QString text = clipboard->text(selection ? QClipboard::Selection : QClipboard::Clipboard);
  // One line, as typed: a trailing newline is not part of a password.
  qsizetype end = text.indexOf(QLatin1Char('\n'));
  if (end < 0) end = text.size();
  if (end > 0 && text.at(end - 1) == QLatin1Char('\r')) --end;
  if (on_key) on_key();
  secret_.Append(QStringView(text).left(end));
  Wipe(text);
  ShowMask();
}

void SecretField::Clear() {
  secret_.Clear();
  ShowMask();
}

void SecretField::ShowMask() {
  const QChar mask(style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, this));
  setText(QString(static_cast<qsizetype>(secret_.Length()), mask));
}

// QLineEdit would paste the selection into its own, unwipeable text.
void SecretField::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::MiddleButton) {
    event->accept();
    return;
  }
  QLineEdit::mousePressEvent(event);
}

void SecretField::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::MiddleButton) {
    event->accept();
    if (!isReadOnly() && rect().contains(event->position().toPoint())) Paste(true);
    return;
  }
  QLineEdit::mouseReleaseEvent(event);
}

}  // namespace vz
