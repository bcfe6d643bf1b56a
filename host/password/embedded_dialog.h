#pragma once

#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QPushButton>
#include <QWidget>
#include <QWindow>

namespace vz {

// Whether a dialog over `owner` is drawn inside it: a widget of this process
// that is on screen.
inline bool CanEmbedIn(const QWidget* owner) { return owner != nullptr && owner->isVisible(); }

// Turns `dialog` into a panel inside `owner`'s window, shown centred in it.
// A separate window would be stacked by the window manager, under a saver
// that keeps itself above everything, and would need the saver's input grabs
// moved to it and back; drawn inside the saver's window it shares both. Its
// own X window carries the dialog's title, as a window of its own would.
// Keys reach it through the owner window's focus, which it takes on showing.
inline void EmbedInWindow(QDialog* dialog, QWidget* owner) {
  class Placer : public QObject {
   public:
    using QObject::QObject;
    // What a dialog window would focus first: its focus proxy, else its
    // default button, else its first control that takes the focus.
    static QWidget* FocusTarget(QWidget* panel) {
      if (panel->focusProxy() != nullptr) return panel->focusProxy();
      const auto buttons = panel->findChildren<QPushButton*>();
      for (QPushButton* b : buttons) {
        if (b->isDefault()) return b;
      }
      const auto children = panel->findChildren<QWidget*>();
      for (QWidget* w : children) {
        if (w->focusPolicy() & Qt::TabFocus) return w;
      }
      return nullptr;
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
      auto* panel = static_cast<QWidget*>(watched);
      if (event->type() == QEvent::Show && panel->parentWidget() != nullptr) {
        const QWidget* host = panel->parentWidget();
        panel->adjustSize();
        panel->move((host->width() - panel->width()) / 2, (host->height() - panel->height()) / 2);
        if (QWindow* handle = panel->windowHandle()) handle->setTitle(panel->windowTitle());
        panel->raise();
        if (QWidget* focus = FocusTarget(panel)) focus->setFocus(Qt::OtherFocusReason);
      }
      return false;
    }
  };
  dialog->setParent(owner, Qt::Widget);
  dialog->setAttribute(Qt::WA_NativeWindow);
  dialog->setAutoFillBackground(true);
  dialog->setCursor(Qt::ArrowCursor);
  dialog->installEventFilter(new Placer(dialog));
}

// Runs `dialog` as exec() does, but never as a modal window when it is
// embedded: modality would block its own host window, through which its keys
// arrive.
inline int ExecDialog(QDialog* dialog) {
  if (dialog->isWindow()) return dialog->exec();
  dialog->setResult(QDialog::Rejected);
  dialog->setWindowModality(Qt::NonModal);  // a QMessageBox makes itself modal
  QEventLoop loop;
  QObject::connect(dialog, &QDialog::finished, &loop, &QEventLoop::quit);
  dialog->show();
  // QCoreApplication::exit() ends this loop too; the dialog is then rejected.
  loop.exec(QEventLoop::DialogExec);
  if (dialog->isVisible()) dialog->hide();
  return dialog->result();
}

}  // namespace vz
